#include "VisError.h"

namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

CVisError::CVisError(const char* message, int32_t errorCode, const char* functionName,
                     const char* sourceFile, int32_t line)
    : m_functionName(functionName),
      m_message(message),
      m_sourceFile(sourceFile),
      m_line(line),
      m_errorCode(errorCode) {}

const char* CVisError::what() const noexcept { return OrEmpty(m_message); }

const char* CVisError::FullMessage() {
    m_fullMessage = std::string("Exception: \nsource file: ") + OrEmpty(m_sourceFile) +
                    "\nfunction name: " + OrEmpty(m_functionName) + "\nmessage: " + OrEmpty(m_message);
    return m_fullMessage.c_str();
}

void CVisError::Throw() const { throw CVisError(*this); }

CVisFileIOError::CVisFileIOError(const std::string& fileName, const char* message, int32_t errorCode,
                                 const char* functionName, const char* sourceFile, int32_t line)
    : CVisError(message, errorCode, functionName, sourceFile, line), m_fileName(fileName) {}

const char* CVisFileIOError::FullMessage() {
    m_fullMessage = std::string("Exception: \nsource file: ") + OrEmpty(m_sourceFile) +
                    "\nfunction name: " + OrEmpty(m_functionName) + "\nfile name: " + m_fileName +
                    "\nmessage: " + OrEmpty(m_message);
    return m_fullMessage.c_str();
}
