#include "DicomWebClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include "DicomPartCheck.h"
#include "MultipartReader.h"

namespace {

const char* const kSearch = "QIDO-RS search";
const char* const kRetrieve = "WADO-RS retrieve";
// A search answer is a list of short datasets; one this large is not one.
constexpr size_t kMaxSearchBytes = 256u << 20;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string MediaType(const std::string& contentType) {
    const std::string type = contentType.substr(0, contentType.find(';'));
    const size_t first = type.find_first_not_of(" \t");
    const size_t last = type.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : Lower(type.substr(first, last - first + 1));
}

// What the handlers of one request are told; each returns an empty string to
// go on, or the reason to stop.
struct CAnswerHandler {
    std::function<std::string(const std::string& contentType)> begin;
    std::function<std::string(std::string_view bytes)> data;
};

// Runs one GET to its end in a local event loop; the reason it failed, or
// an empty string. The timer restarts whenever the server sends anything, so
// a slow but living transfer goes on and a silent server fails.
std::string RunRequest(const QUrl& url, const char* accept, const std::string& authorization,
                       const CDicomWebClient::Settings& settings, const CAnswerHandler& handler) {
    const int timeoutSeconds = settings.timeoutSeconds;
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    if (!settings.caCertificatesFile.empty()) {
        // Added to the system's authorities; the checks stay as strict.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromPath(QString::fromStdString(settings.caCertificatesFile)));
        request.setSslConfiguration(tls);
    }
    request.setRawHeader("Accept", accept);
    if (!authorization.empty())
        request.setRawHeader("Authorization", QByteArray::fromStdString(authorization));
    // Credentials must not follow a redirect to another server.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    QNetworkReply* reply = manager.get(request);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(timeoutSeconds * 1000);
    std::string error;
    bool begun = false, timedOut = false;
    auto statusCode = [&] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };
    auto success = [&] {
        const int status = statusCode();
        return status >= 200 && status < 300;
    };
    auto fail = [&](std::string reason) {
        if (error.empty()) error = std::move(reason);
        reply->abort();
    };
    auto take = [&] {
        if (!error.empty() || !success()) return;
        if (!begun) {
            begun = true;
            std::string reason = handler.begin(reply->rawHeader("Content-Type").toStdString());
            if (!reason.empty()) return fail(std::move(reason));
        }
        while (reply->bytesAvailable() > 0 && error.empty()) {
            const QByteArray chunk = reply->read(1 << 20);
            std::string reason =
                handler.data(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size())));
            if (!reason.empty()) return fail(std::move(reason));
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] { timer.start(); });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        timer.start();
        take();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    timer.start();
    if (!reply->isFinished()) loop.exec();
    timer.stop();

    if (!error.empty()) return error;
    if (timedOut) return std::string("no answer within ") + std::to_string(timeoutSeconds) + " s";
    const int status = statusCode();
    if (status != 0 && !success()) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return std::string("the server answered ") + std::to_string(status) +
               (reason.isEmpty() ? std::string()
                                 : std::string(" ") + CMultipartReader::Shown(reason.toStdString()));
    }
    if (reply->error() != QNetworkReply::NoError) {
        // Qt may join several TLS errors with line ends.
        std::string why = reply->errorString().toStdString();
        std::replace_if(
            why.begin(), why.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        return std::string("the connection failed: ") + why;
    }
    // The rest of the body; an answer without one (204 No Content) is left
    // to the caller, which finds nothing begun.
    if (status != 204 || reply->bytesAvailable() > 0) take();
    return error;
}

QJsonValue FirstValue(const QJsonObject& dataset, const char* tag) {
    const QJsonArray values =
        dataset.value(QLatin1String(tag)).toObject().value(QLatin1String("Value")).toArray();
    return values.isEmpty() ? QJsonValue() : values.at(0);
}

std::string ValueText(const QJsonValue& value) {
    if (value.isObject()) return value.toObject().value(QLatin1String("Alphabetic")).toString().toStdString();
    if (value.isString()) return value.toString().toStdString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::floor(number) == number && std::fabs(number) < 1e15)
            return std::to_string(static_cast<long long>(number));
        return QString::number(number).toStdString();
    }
    return {};
}

std::string Text(const QJsonObject& dataset, const char* tag) {
    return ValueText(FirstValue(dataset, tag));
}

// Every value of a multi-valued attribute, backslash-separated.
std::string AllText(const QJsonObject& dataset, const char* tag) {
    std::string text;
    for (const QJsonValue& value :
         dataset.value(QLatin1String(tag)).toObject().value(QLatin1String("Value")).toArray()) {
        if (!text.empty()) text += '\\';
        text += ValueText(value);
    }
    return text;
}

// A count, or -1 when the dataset has none or one that is not a count.
int Count(const QJsonObject& dataset, const char* tag) {
    const QJsonValue value = FirstValue(dataset, tag);
    bool ok = value.isDouble();
    double number = value.toDouble();
    if (value.isString()) number = value.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < 0 || number > std::numeric_limits<int>::max() ||
        std::floor(number) != number)
        return -1;
    return static_cast<int>(number);
}

bool IsUid(const std::string& uid) {
    return !uid.empty() && uid.size() <= 64 &&
           std::all_of(uid.begin(), uid.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool IsDate(const std::string& date) {
    return date.size() == 8 &&
           std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void AddParameter(std::string& query, const char* key, const std::string& value) {
    if (value.empty()) return;
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += QUrl::toPercentEncoding(QString::fromStdString(value), "*").toStdString();
}

// Writes each part of a retrieve into its own file, checks that it is a DICOM
// object, and removes what it wrote when the retrieve fails.
class CPartFiles : public CMultipartSink {
public:
    CPartFiles(std::filesystem::path folder, int expected, const CDicomWebClient::Progress& progress)
        : m_folder(std::move(folder)), m_expected(expected), m_progress(progress) {}

    std::string BeginPart(const CMultipartHeaders& headers) override {
        for (const auto& [name, value] : headers)
            if (name == "content-type" && MediaType(value) != "application/dicom")
                return std::string("object ") + std::to_string(m_paths.size() + 1) + " is " +
                       CMultipartReader::Shown(MediaType(value)) + ", not application/dicom";
        char name[32];
        std::snprintf(name, sizeof name, "%05zu.dcm", m_paths.size() + 1);
        // Never over a file the caller had: a failed retrieve removes what it wrote.
        std::error_code ec;
        if (std::filesystem::exists(m_folder / name, ec) || ec)
            return std::string("the folder already holds ") + name;
        m_paths.push_back(m_folder / name);
        m_out.open(m_paths.back(), std::ios::binary | std::ios::trunc);
        m_head.clear();
        m_size = 0;
        if (!m_out) return std::string("cannot write ") + m_paths.back().string();
        return {};
    }

    std::string PartData(std::string_view bytes) override {
        if (m_head.size() < kDicomPartHeadBytes)
            m_head.append(bytes.substr(0, kDicomPartHeadBytes - m_head.size()));
        m_size += static_cast<int64_t>(bytes.size());
        m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!m_out) return std::string("cannot write ") + m_paths.back().string();
        return {};
    }

    std::string EndPart() override {
        m_out.close();
        if (!m_out) return std::string("cannot write ") + m_paths.back().string();
        const std::string problem = DicomPartProblem(m_head, m_size);
        if (!problem.empty()) return std::string("object ") + std::to_string(m_paths.size()) + " " + problem;
        ++m_received;
        if (m_progress && !m_progress(m_received, m_expected)) return "cancelled";
        return {};
    }

    int Received() const { return m_received; }

    void RemoveAll() {
        m_out.close();
        std::error_code ignored;
        for (const auto& path : m_paths) std::filesystem::remove(path, ignored);
        m_paths.clear();
    }

private:
    std::filesystem::path m_folder;
    int m_expected;
    const CDicomWebClient::Progress& m_progress;
    std::vector<std::filesystem::path> m_paths;
    std::ofstream m_out;
    std::string m_head;
    int64_t m_size = 0;
    int m_received = 0;
};

}  // namespace

CDicomWebClient::CDicomWebClient(const std::string& baseUrl) : CDicomWebClient(baseUrl, Settings()) {}

CDicomWebClient::CDicomWebClient(const std::string& baseUrl, Settings settings) : m_settings(settings) {
    // The URL's text is never repeated in these messages: it may hold a password.
    auto refuse = [](const std::string& why) {
        throw std::runtime_error(std::string("DICOMweb URL: ") + why);
    };
    const QUrl url(QString::fromStdString(baseUrl), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty())
        refuse("not an http:// or https:// URL with a host");
    if (url.hasQuery() || url.hasFragment()) refuse("the base URL may not hold a query or fragment");
    if (!url.password().isEmpty())
        refuse("a password may not be given in the URL; set ORVANTA_DICOMWEB_PASSWORD instead");
    if (settings.timeoutSeconds < 1 || settings.timeoutSeconds > 24 * 3600)
        refuse("the timeout must be 1 s to 24 h");
    if (!settings.caCertificatesFile.empty() &&
        QSslCertificate::fromPath(QString::fromStdString(settings.caCertificatesFile)).isEmpty())
        refuse(std::string("no PEM certificate in ") + settings.caCertificatesFile);
    const QUrl plain = url.adjusted(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash);
    m_serverText = plain.toString().toStdString();
    m_base = plain.toEncoded().toStdString();

    auto given = [](const std::string& value, const char* variable) {
        return value.empty() ? qgetenv(variable) : QByteArray::fromStdString(value);
    };
    const QByteArray token = given(settings.token, "ORVANTA_DICOMWEB_TOKEN");
    QByteArray user = QByteArray::fromStdString(settings.user);
    if (user.isEmpty())
        user = url.userName().isEmpty() ? qgetenv("ORVANTA_DICOMWEB_USER") : url.userName().toUtf8();
    if (!token.isEmpty()) {
        m_authorization = std::string("Bearer ") + token.toStdString();
    } else if (!user.isEmpty()) {
        const QByteArray pair = user + ':' + given(settings.password, "ORVANTA_DICOMWEB_PASSWORD");
        m_authorization = std::string("Basic ") + pair.toBase64().toStdString();
    }
    if (m_authorization.find_first_of("\r\n") != std::string::npos)
        Throw("connection", "the token holds a line break");
    // Plain http would show the credentials to anyone on the way; this
    // machine is the one exception.
    const QHostAddress host(url.host());
    const bool local = url.host().toLower() == "localhost" || (!host.isNull() && host.isLoopback());
    if (!m_authorization.empty() && scheme == "http" && !local)
        Throw("connection", "credentials are sent only over https");
    if (!QCoreApplication::instance()) Throw("connection", "the client needs a QCoreApplication");
}

void CDicomWebClient::Throw(const char* step, const std::string& what) const {
    throw std::runtime_error(m_serverText + ": " + step + ": " + what);
}

std::vector<CDicomWebClient::Series> CDicomWebClient::Search(const std::string& path,
                                                             const std::string& query, bool studies) const {
    std::string body;
    CAnswerHandler handler;
    handler.begin = [](const std::string& contentType) {
        const std::string type = MediaType(contentType);
        if (type != "application/dicom+json" && type != "application/json")
            return std::string("the answer is ") +
                   (type.empty() ? std::string("untyped") : CMultipartReader::Shown(type)) +
                   ", not application/dicom+json";
        return std::string();
    };
    handler.data = [&body](std::string_view bytes) {
        if (body.size() + bytes.size() > kMaxSearchBytes) return std::string("the answer is over 256 MiB");
        body.append(bytes);
        return std::string();
    };
    const std::string address = m_base + path + (query.empty() ? std::string() : std::string("?") + query);
    const std::string error =
        RunRequest(QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode),
                   "application/dicom+json", m_authorization, m_settings, handler);
    if (!error.empty()) Throw(kSearch, error);

    std::vector<Series> found;
    if (body.find_first_not_of(" \t\r\n") == std::string::npos)
        return found;  // no match: 204 or an empty body
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        Throw(kSearch, std::string("the answer is not JSON: ") + parseError.errorString().toStdString() +
                           " at byte " + std::to_string(parseError.offset));
    if (!document.isArray()) Throw(kSearch, "the answer is not a JSON array of datasets");
    for (const QJsonValue& item : document.array()) {
        if (!item.isObject()) Throw(kSearch, "the answer's array holds something other than datasets");
        const QJsonObject dataset = item.toObject();
        Series series;
        series.patientName = Text(dataset, "00100010");
        series.patientId = Text(dataset, "00100020");
        series.studyDate = Text(dataset, "00080020");
        series.studyUid = Text(dataset, "0020000D");
        if (studies) {
            series.modality = AllText(dataset, "00080061");
            series.images = Count(dataset, "00201208");
        } else {
            series.seriesUid = Text(dataset, "0020000E");
            series.seriesNumber = Text(dataset, "00200011");
            series.seriesDescription = Text(dataset, "0008103E");
            series.modality = Text(dataset, "00080060");
            series.images = Count(dataset, "00201209");
        }
        found.push_back(std::move(series));
    }
    return found;
}

std::string CDicomWebClient::PatientFilters(const Query& query) const {
    if (!query.studyUid.empty() && !IsUid(query.studyUid)) Throw(kSearch, "the study UID is not a DICOM UID");
    if (!query.seriesUid.empty() && !IsUid(query.seriesUid))
        Throw(kSearch, "the series UID is not a DICOM UID");
    for (const std::string* date : {&query.studyDateFrom, &query.studyDateTo})
        if (!date->empty() && !IsDate(*date)) Throw(kSearch, "a study date is not YYYYMMDD");
    std::string text;
    AddParameter(text, "PatientName", query.patientName);
    AddParameter(text, "PatientID", query.patientId);
    if (!query.studyDateFrom.empty() || !query.studyDateTo.empty())
        AddParameter(text, "StudyDate",
                     query.studyDateFrom == query.studyDateTo
                         ? query.studyDateFrom
                         : query.studyDateFrom + "-" + query.studyDateTo);
    return text;
}

void CDicomWebClient::Verify() const {
    Search("/studies", "limit=1", true);
}

std::vector<CDicomWebClient::Series> CDicomWebClient::SearchStudies(const Query& query) const {
    std::string text = PatientFilters(query);
    AddParameter(text, "StudyInstanceUID", query.studyUid);
    AddParameter(text, "ModalitiesInStudy", query.modality);
    for (const char* tag : {"00100010", "00100020", "00080020", "00080061", "00201208"})
        AddParameter(text, "includefield", tag);
    return Search("/studies", text, true);
}

std::vector<CDicomWebClient::Series> CDicomWebClient::SearchSeries(const Query& query) const {
    std::string text = PatientFilters(query);
    AddParameter(text, "Modality", query.modality);
    AddParameter(text, "SeriesInstanceUID", query.seriesUid);
    for (const char* tag : {"00100010", "00100020", "00080020", "0020000D", "0008103E", "00201209"})
        AddParameter(text, "includefield", tag);
    std::vector<Series> found =
        Search(query.studyUid.empty() ? std::string("/series")
                                      : std::string("/studies/") + query.studyUid + "/series",
               text, false);
    for (Series& series : found)
        if (series.studyUid.empty()) series.studyUid = query.studyUid;
    FillStudyFields(found);
    return found;
}

void CDicomWebClient::FillStudyFields(std::vector<Series>& found) const {
    // Archives need not repeat the study's fields in a series answer: one
    // study search per study fills them in.
    std::map<std::string, std::optional<Series>> studies;
    for (Series& series : found) {
        if (!series.patientName.empty() || !series.patientId.empty() || !series.studyDate.empty()) continue;
        if (!IsUid(series.studyUid)) continue;
        auto [at, added] = studies.try_emplace(series.studyUid);
        if (added) {
            Query byUid;
            byUid.studyUid = series.studyUid;
            for (Series& study : SearchStudies(byUid))
                if (study.studyUid == series.studyUid) at->second = std::move(study);
        }
        if (!at->second) continue;
        series.patientName = at->second->patientName;
        series.patientId = at->second->patientId;
        series.studyDate = at->second->studyDate;
    }
}

int CDicomWebClient::RetrieveSeries(const std::string& studyUid, const std::string& seriesUid,
                                    const std::string& folder, int expected, const Progress& progress) const {
    if (!IsUid(studyUid)) Throw(kRetrieve, "the study UID is not a DICOM UID");
    if (!IsUid(seriesUid)) Throw(kRetrieve, "the series UID is not a DICOM UID");
    return Retrieve(std::string("/studies/") + studyUid + "/series/" + seriesUid, folder, expected, progress);
}

int CDicomWebClient::RetrieveStudy(const std::string& studyUid, const std::string& folder, int expected,
                                   const Progress& progress) const {
    if (!IsUid(studyUid)) Throw(kRetrieve, "the study UID is not a DICOM UID");
    return Retrieve(std::string("/studies/") + studyUid, folder, expected, progress);
}

int CDicomWebClient::Retrieve(const std::string& path, const std::string& folder, int expected,
                              const Progress& progress) const {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) Throw(kRetrieve, std::string("no folder ") + folder);

    CPartFiles files(folder, expected, progress);
    std::optional<CMultipartReader> reader;
    CAnswerHandler handler;
    handler.begin = [&](const std::string& contentType) {
        if (MediaType(contentType) != "multipart/related")
            return std::string("the answer is ") +
                   (contentType.empty() ? std::string("untyped")
                                        : CMultipartReader::Shown(MediaType(contentType))) +
                   ", not multipart/related";
        std::string boundary, error;
        if (!CMultipartReader::BoundaryOf(contentType, boundary, error)) return error;
        reader.emplace(boundary, files);
        return std::string();
    };
    handler.data = [&](std::string_view bytes) {
        return reader->Feed(bytes) ? std::string() : reader->Error();
    };
    const std::string address = m_base + path;
    std::string error =
        RunRequest(QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode),
                   "multipart/related; type=\"application/dicom\"", m_authorization, m_settings, handler);
    if (error.empty() && !reader) error = "the answer has no body";
    if (error.empty() && !reader->Finish()) error = reader->Error();
    if (error.empty() && files.Received() == 0) error = "the answer holds no DICOM object";
    if (!error.empty()) {
        files.RemoveAll();
        Throw(kRetrieve, error);
    }
    return files.Received();
}
