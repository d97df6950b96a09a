#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Result codes carried by media errors. Failures of FFmpeg calls carry
// FFmpeg's own negative error value instead.
constexpr int32_t kVisErrorOutOfMemory = static_cast<int32_t>(0x8007000E);
constexpr int32_t kVisErrorInvalidArgument = static_cast<int32_t>(0x80070057);
constexpr int32_t kVisErrorFailure = static_cast<int32_t>(0x80004005);

// The exception the media layer raises. The three texts are static strings
// (string literals at the raising site) and are stored as pointers; only the
// composed text is owned.
class CVisError : public std::exception {
public:
    CVisError(const char* message, int32_t errorCode, const char* functionName, const char* sourceFile,
              int32_t line);
    CVisError(const CVisError& other) = default;
    CVisError& operator=(const CVisError& other) = default;
    ~CVisError() override = default;

    // The message alone.
    const char* what() const noexcept override;
    // "Exception: \nsource file: ...\nfunction name: ...\nmessage: ...", rebuilt on
    // each call; the text lives as long as this error.
    virtual const char* FullMessage();
    // Raises a copy of this error as a CVisError.
    [[noreturn]] virtual void Throw() const;

    const char* Message() const { return m_message; }
    const char* FunctionName() const { return m_functionName; }
    const char* SourceFile() const { return m_sourceFile; }
    int32_t Line() const { return m_line; }
    int32_t ErrorCode() const { return m_errorCode; }

protected:
    const char* m_functionName;
    const char* m_message;
    const char* m_sourceFile;
    std::string m_fullMessage;
    int32_t m_line;
    int32_t m_errorCode;
};

// A media error about one file; its full text names the file between the
// function name and the message.
class CVisFileIOError : public CVisError {
public:
    CVisFileIOError(const std::string& fileName, const char* message, int32_t errorCode,
                    const char* functionName, const char* sourceFile, int32_t line);

    const char* FullMessage() override;
    const std::string& FileName() const { return m_fileName; }

private:
    std::string m_fileName;
};
