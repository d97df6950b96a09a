// DCMTK's side of CDimseClient, built as the orvanta-dimse module: only this
// file includes the DICOM network library.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/dstorscp.h>
#include <dcmtk/dcmnet/dul.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "DimseClient.h"

namespace {

using Settings = CDimseClient::Settings;

[[noreturn]] void Fail(const CPacsServer& server, const std::string& step, const std::string& why) {
    throw std::runtime_error(std::string("PACS ") + server.Text() + ", " + step + ": " + why);
}

// Every transfer syntax the viewer decodes, uncompressed ones first so an
// archive that can send either sends those.
const OFList<OFString>& AcceptedSyntaxes() {
    static const OFList<OFString> syntaxes = [] {
        OFList<OFString> list;
        for (const char* uid :
             {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax,
              UID_BigEndianExplicitTransferSyntax, UID_DeflatedExplicitVRLittleEndianTransferSyntax,
              UID_JPEGProcess14SV1TransferSyntax, UID_JPEGProcess1TransferSyntax,
              UID_JPEGLSLosslessTransferSyntax, UID_JPEG2000LosslessOnlyTransferSyntax,
              UID_JPEG2000TransferSyntax, UID_RLELosslessTransferSyntax})
            list.push_back(uid);
        return list;
    }();
    return syntaxes;
}

const OFList<OFString>& CommandSyntaxes() {
    static const OFList<OFString> syntaxes = [] {
        OFList<OFString> list;
        list.push_back(UID_LittleEndianExplicitTransferSyntax);
        list.push_back(UID_LittleEndianImplicitTransferSyntax);
        return list;
    }();
    return syntaxes;
}

std::string Why(const OFCondition& condition, const Settings& settings) {
    if (condition == DUL_READTIMEOUT || condition == DIMSE_NODATAAVAILABLE)
        return "no answer within " + std::to_string(settings.timeoutSeconds) + " s";
    // The library nests the causes of a failure a line each; messages are one line.
    std::string text = condition.text();
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
        text.replace(at, 1, "; ");
    if (condition == DUL_PEERABORTEDASSOCIATION || condition == DUL_PEERREQUESTEDRELEASE ||
        condition == DUL_NETWORKCLOSED || condition == DIMSE_READPDVFAILED || condition == DIMSE_SENDFAILED ||
        condition == DIMSE_RECEIVEFAILED || text.find("TCP I/O Error") != std::string::npos)
        return "the connection broke off (" + text + ")";
    if (condition.module() == OFM_dcmnet &&
        (condition.code() == DULC_UNRECOGNIZEDPDUTYPE || condition.code() == DULC_ILLEGALPDU ||
         condition.code() == DULC_ILLEGALPDULENGTH || condition.code() == DULC_UNEXPECTEDPDU))
        return "the server's answer is not DICOM (" + text + ")";
    return text;
}

// One association with the server; the DIMSE operations of a request share it.
class CAssociation : public DcmSCU {
public:
    CAssociation(const CPacsServer& server, const Settings& settings)
        : m_server(server), m_settings(settings) {
        setAETitle(settings.ourAet.c_str());
        setPeerAETitle(server.aet.c_str());
        setPeerHostName(server.host.c_str());
        setPeerPort(static_cast<Uint16>(server.port));
        setACSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
        setDIMSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
        setDIMSEBlockingMode(DIMSE_NONBLOCKING);
        setVerbosePCMode(OFFalse);
    }

    ~CAssociation() override {
        if (isConnected()) releaseAssociation();
    }

    // Opens the association with the presentation context of `abstractSyntax`,
    // and for C-GET, those of every storage class in the role of receiver.
    T_ASC_PresentationContextID Open(const char* abstractSyntax, bool receivesImages) {
        // The library would cut a title too long to its 16 characters and call as someone else.
        std::string error;
        if (!CPacsServer::CheckAeTitle(m_settings.ourAet, error) ||
            !CPacsServer::CheckAeTitle(m_server.aet, error))
            Fail(m_server, "association", error);
        addPresentationContext(abstractSyntax, CommandSyntaxes());
        if (receivesImages)
            for (int i = 0; i < numberOfDcmLongSCUStorageSOPClassUIDs; ++i)
                addPresentationContext(dcmLongSCUStorageSOPClassUIDs[i], AcceptedSyntaxes(), ASC_SC_ROLE_SCP);
        // The connection itself waits no longer than the association.
        dcmConnectionTimeout.set(static_cast<Sint32>(m_settings.timeoutSeconds));
        OFCondition condition = initNetwork();
        if (condition.good()) condition = negotiateAssociation();
        if (condition == DUL_ASSOCIATIONREJECTED || condition == NET_EC_NoAcceptablePresentationContexts)
            Fail(m_server, "association",
                 "the server refused it (does it know our AE title " + m_settings.ourAet + " and go by " +
                     m_server.aet + "?)");
        if (condition.bad()) Fail(m_server, "association", Why(condition, m_settings));
        const T_ASC_PresentationContextID context = findAnyPresentationContextID(abstractSyntax, "");
        if (context == 0) Fail(m_server, "association", "the server does not offer this service");
        return context;
    }

    const CPacsServer& Server() const { return m_server; }
    const Settings& Setup() const { return m_settings; }

protected:
    const CPacsServer m_server;
    const Settings m_settings;
};

std::string Text(DcmDataset* data, const DcmTagKey& tag) {
    OFString value;
    if (data != nullptr && data->findAndGetOFStringArray(tag, value).good()) return value.c_str();
    return "";
}

int Count(DcmDataset* data, const DcmTagKey& tag) {
    const std::string text = Text(data, tag);
    if (text.empty()) return -1;
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return -1;
    }
}

std::string StatusText(Uint16 status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", status);
    return text;
}

// The answers to one C-FIND, which the library leaves to its caller to free.
struct CFindAnswers {
    OFList<QRResponse*> responses;
    CFindAnswers() = default;
    CFindAnswers(const CFindAnswers&) = delete;
    CFindAnswers& operator=(const CFindAnswers&) = delete;
    ~CFindAnswers() {
        for (QRResponse* response : responses) delete response;
    }
};

// Sends one C-FIND and gives each matching answer.
std::vector<DcmDataset*> Find(CAssociation& association, T_ASC_PresentationContextID context,
                              DcmDataset& keys, CFindAnswers& answers) {
    OFList<QRResponse*>& responses = answers.responses;
    const OFCondition condition = association.sendFINDRequest(context, &keys, &responses);
    if (condition.bad()) Fail(association.Server(), "C-FIND", Why(condition, association.Setup()));
    std::vector<DcmDataset*> matches;
    for (QRResponse* response : responses) {
        if (DICOM_PENDING_STATUS(response->m_status)) {
            if (response->m_dataset != nullptr) matches.push_back(response->m_dataset);
        } else if (response->m_status != STATUS_Success) {
            Fail(association.Server(), "C-FIND",
                 "the server answered with status " + StatusText(response->m_status));
        }
    }
    return matches;
}

std::vector<CDimseClient::Study> StudiesOf(CAssociation& association, T_ASC_PresentationContextID context,
                                           const CDimseClient::Query& query) {
    DcmDataset keys;
    keys.putAndInsertOFStringArray(DCM_QueryRetrieveLevel, "STUDY");
    keys.putAndInsertOFStringArray(DCM_PatientName, query.patientName.c_str());
    keys.putAndInsertOFStringArray(DCM_PatientID, query.patientId.c_str());
    const std::string dates = query.studyDateFrom.empty() && query.studyDateTo.empty()
                                  ? std::string()
                                  : query.studyDateFrom + "-" + query.studyDateTo;
    keys.putAndInsertOFStringArray(DCM_StudyDate, dates.c_str());
    keys.putAndInsertOFStringArray(DCM_StudyInstanceUID, query.studyUid.c_str());
    keys.putAndInsertOFStringArray(DCM_StudyDescription, query.studyDescription.c_str());
    keys.putAndInsertOFStringArray(DCM_ModalitiesInStudy, "");
    keys.putAndInsertOFStringArray(DCM_NumberOfStudyRelatedInstances, "");
    CFindAnswers answers;
    std::vector<CDimseClient::Study> studies;
    for (DcmDataset* match : Find(association, context, keys, answers)) {
        CDimseClient::Study study;
        study.patientName = Text(match, DCM_PatientName);
        study.patientId = Text(match, DCM_PatientID);
        study.studyDate = Text(match, DCM_StudyDate);
        study.studyUid = Text(match, DCM_StudyInstanceUID);
        study.studyDescription = Text(match, DCM_StudyDescription);
        study.modalities = Text(match, DCM_ModalitiesInStudy);
        study.images = Count(match, DCM_NumberOfStudyRelatedInstances);
        if (!study.studyUid.empty()) studies.push_back(study);
    }
    return studies;
}

// The series of `study` (every study when its UID is empty) that `query`
// matches. With `studyFields` each row also asks for its study's fields,
// which most archives give at the series level as well.
std::vector<CDimseClient::Series> SeriesOf(CAssociation& association, T_ASC_PresentationContextID context,
                                           const CDimseClient::Study& study, const CDimseClient::Query& query,
                                           bool studyFields) {
    DcmDataset keys;
    keys.putAndInsertOFStringArray(DCM_QueryRetrieveLevel, "SERIES");
    keys.putAndInsertOFStringArray(DCM_StudyInstanceUID, study.studyUid.c_str());
    keys.putAndInsertOFStringArray(DCM_SeriesInstanceUID, query.seriesUid.c_str());
    keys.putAndInsertOFStringArray(DCM_SeriesNumber, "");
    keys.putAndInsertOFStringArray(DCM_SeriesDescription, query.seriesDescription.c_str());
    keys.putAndInsertOFStringArray(DCM_Modality, query.modality.c_str());
    keys.putAndInsertOFStringArray(DCM_NumberOfSeriesRelatedInstances, "");
    if (studyFields)
        for (const DcmTagKey& tag : {DCM_PatientName, DCM_PatientID, DCM_StudyDate, DCM_StudyDescription})
            keys.putAndInsertOFStringArray(tag, "");
    CFindAnswers answers;
    std::vector<CDimseClient::Series> rows;
    for (DcmDataset* match : Find(association, context, keys, answers)) {
        CDimseClient::Series series;
        series.study = study;
        if (studyFields) {
            series.study.studyUid = Text(match, DCM_StudyInstanceUID);
            series.study.patientName = Text(match, DCM_PatientName);
            series.study.patientId = Text(match, DCM_PatientID);
            series.study.studyDate = Text(match, DCM_StudyDate);
            series.study.studyDescription = Text(match, DCM_StudyDescription);
        }
        series.seriesUid = Text(match, DCM_SeriesInstanceUID);
        series.seriesNumber = Text(match, DCM_SeriesNumber);
        series.seriesDescription = Text(match, DCM_SeriesDescription);
        series.modality = Text(match, DCM_Modality);
        series.images = Count(match, DCM_NumberOfSeriesRelatedInstances);
        if (!series.seriesUid.empty() && !series.study.studyUid.empty()) rows.push_back(series);
    }
    return rows;
}

// The study a series belongs to, asked of the archive by the series' UID.
std::string StudyOfSeries(CAssociation& association, T_ASC_PresentationContextID context,
                          const std::string& seriesUid) {
    DcmDataset keys;
    keys.putAndInsertOFStringArray(DCM_QueryRetrieveLevel, "SERIES");
    keys.putAndInsertOFStringArray(DCM_StudyInstanceUID, "");
    keys.putAndInsertOFStringArray(DCM_SeriesInstanceUID, seriesUid.c_str());
    CFindAnswers answers;
    std::string study;
    for (DcmDataset* match : Find(association, context, keys, answers))
        if (study.empty()) study = Text(match, DCM_StudyInstanceUID);
    return study;
}

void RetrievalKeys(const CDimseClient::Retrieval& retrieval, DcmDataset& keys) {
    keys.putAndInsertOFStringArray(DCM_QueryRetrieveLevel, retrieval.seriesUid.empty() ? "STUDY" : "SERIES");
    keys.putAndInsertOFStringArray(DCM_StudyInstanceUID, retrieval.studyUid.c_str());
    if (!retrieval.seriesUid.empty())
        keys.putAndInsertOFStringArray(DCM_SeriesInstanceUID, retrieval.seriesUid.c_str());
}

// The outcome both retrieves share: the sub-operations the server counted
// and its final status.
struct CRetrieveTally {
    int expected = -1;
    int failed = 0;
    int completed = 0;
    Uint16 finalStatus = STATUS_Success;
    bool cancelled = false;
    bool finished = false;

    void Take(const RetrieveResponse& response) {
        const int total = response.m_numberOfRemainingSubops + response.m_numberOfCompletedSubops +
                          response.m_numberOfFailedSubops + response.m_numberOfWarningSubops;
        if (DICOM_PENDING_STATUS(response.m_status)) {
            if (total > 0) expected = total;
        } else {
            finished = true;
            finalStatus = response.m_status;
            failed = response.m_numberOfFailedSubops;
            completed = response.m_numberOfCompletedSubops;
        }
    }

    // Throws unless every image the server meant to send arrived.
    void Check(const CAssociation& association, const char* step, int received) const {
        if (cancelled) Fail(association.Server(), step, "cancelled");
        if (!finished) Fail(association.Server(), step, "the server gave no final answer");
        if (finalStatus != STATUS_Success &&
            finalStatus != STATUS_GET_Warning_SubOperationsCompleteOneOrMoreFailures)
            Fail(association.Server(), step, "the server answered with status " + StatusText(finalStatus));
        if (failed > 0 || finalStatus != STATUS_Success)
            Fail(association.Server(), step, std::to_string(failed) + " of the images could not be sent");
        if (received == 0) Fail(association.Server(), step, "nothing on the server matches");
        // The server counts what it sent; anything less here was lost on the way.
        if (received < completed)
            Fail(association.Server(), step,
                 "only " + std::to_string(received) + " of the " + std::to_string(completed) +
                     " images sent arrived");
    }
};

// C-GET: the images come back over the association that asked for them.
class CGetAssociation final : public CAssociation {
public:
    CGetAssociation(const CPacsServer& server, const Settings& settings,
                    const CDimseClient::Progress& progress, int expected)
        : CAssociation(server, settings), m_progress(progress) {
        m_tally.expected = expected;
    }

    int Run(const CDimseClient::Retrieval& retrieval, const std::string& folder) {
        const T_ASC_PresentationContextID context = Open(UID_GETStudyRootQueryRetrieveInformationModel, true);
        m_folder = folder;
        setStorageDir(folder.c_str());
        setStorageMode(DCMSCU_STORAGE_DISK);
        DcmDataset keys;
        RetrievalKeys(retrieval, keys);
        OFList<RetrieveResponse*> responses;
        const OFCondition condition = sendCGETRequest(context, &keys, &responses);
        for (RetrieveResponse* response : responses) delete response;
        if (m_tally.cancelled) abortAssociation();
        if (m_storeFailure) Fail(m_server, "C-GET", "an image cannot be written to " + folder);
        if (condition.bad() && !m_tally.cancelled) Fail(m_server, "C-GET", Why(condition, m_settings));
        m_tally.Check(*this, "C-GET", m_received);
        return m_received;
    }

protected:
    OFCondition handleCGETResponse(const T_ASC_PresentationContextID context, RetrieveResponse* response,
                                   OFBool& go_on) override {
        if (response != nullptr) m_tally.Take(*response);
        return DcmSCU::handleCGETResponse(context, response, go_on);
    }

    // Files are named by their place in the transfer: a name made from the
    // server's UIDs could lead out of the folder.
    OFString createStorageFilename(DcmDataset*) override {
        char name[32];
        std::snprintf(name, sizeof name, "image-%05d.dcm", m_received + 1);
        return (std::filesystem::path(m_folder) / name).string().c_str();
    }

    OFCondition handleSTORERequest(const T_ASC_PresentationContextID context, DcmDataset* object,
                                   OFBool& go_on, Uint16& status) override {
        const OFCondition condition = DcmSCU::handleSTORERequest(context, object, go_on, status);
        if (condition.bad()) {
            m_storeFailure = true;
            go_on = OFFalse;
            return condition;
        }
        ++m_received;
        if (m_progress && !m_progress(m_received, m_tally.expected)) {
            m_tally.cancelled = true;
            go_on = OFFalse;
        }
        return condition;
    }

private:
    const CDimseClient::Progress& m_progress;
    CRetrieveTally m_tally;
    std::string m_folder;
    int m_received = 0;
    bool m_storeFailure = false;
};

// Our storage service for C-MOVE: it takes the images the server sends to
// our AE title, and runs only while the retrieve does.
class CMoveReceiver final : public DcmStorageSCP {
public:
    // Counted by the library's notice, which is const.
    mutable std::atomic<int> m_received{0};
    std::atomic<bool> m_stop{false};

protected:
    void notifyInstanceStored(const OFString&, const OFString&, const OFString&, DcmDataset*) const override {
        m_received.fetch_add(1);
    }
    OFBool stopAfterConnectionTimeout() override { return m_stop.load(); }
    OFBool stopAfterCurrentAssociation() override { return m_stop.load(); }
};

class CMoveAssociation final : public CAssociation {
public:
    CMoveAssociation(const CPacsServer& server, const Settings& settings,
                     const CDimseClient::Progress& progress, int expected, CMoveReceiver& receiver)
        : CAssociation(server, settings), m_progress(progress), m_receiver(receiver) {
        m_tally.expected = expected;
    }

    void Run(const CDimseClient::Retrieval& retrieval) {
        const T_ASC_PresentationContextID context =
            Open(UID_MOVEStudyRootQueryRetrieveInformationModel, false);
        DcmDataset keys;
        RetrievalKeys(retrieval, keys);
        OFList<RetrieveResponse*> responses;
        const OFCondition condition = sendMOVERequest(context, m_settings.ourAet.c_str(), &keys, &responses);
        for (RetrieveResponse* response : responses) delete response;
        if (m_tally.cancelled) abortAssociation();
        if (condition.bad() && !m_tally.cancelled) Fail(m_server, "C-MOVE", Why(condition, m_settings));
    }

    CRetrieveTally m_tally;

protected:
    OFCondition handleMOVEResponse(const T_ASC_PresentationContextID context, RetrieveResponse* response,
                                   OFBool& go_on) override {
        if (response != nullptr) m_tally.Take(*response);
        const OFCondition condition = DcmSCU::handleMOVEResponse(context, response, go_on);
        if (m_progress && go_on && !m_progress(m_receiver.m_received.load(), m_tally.expected)) {
            m_tally.cancelled = true;
            go_on = OFFalse;
        }
        return condition;
    }

private:
    const CDimseClient::Progress& m_progress;
    CMoveReceiver& m_receiver;
};

class CDcmtkDimseClient final : public CDimseClient {
public:
    CDcmtkDimseClient() {
        // The library's log goes to standard error; failures reach the user
        // through our own messages instead.
        OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
        // A server that closes its end while we write must fail the write,
        // not end the program.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void Echo(const CPacsServer& server, const Settings& settings) const override {
        const std::lock_guard<std::mutex> hold(m_lock);
        CAssociation association(server, settings);
        const T_ASC_PresentationContextID context = association.Open(UID_VerificationSOPClass, false);
        const OFCondition condition = association.sendECHORequest(context);
        if (condition.bad()) Fail(server, "C-ECHO", Why(condition, settings));
    }

    std::vector<Study> FindStudies(const CPacsServer& server, const Settings& settings,
                                   const Query& query) const override {
        const std::lock_guard<std::mutex> hold(m_lock);
        CAssociation association(server, settings);
        const T_ASC_PresentationContextID context =
            association.Open(UID_FINDStudyRootQueryRetrieveInformationModel, false);
        return StudiesOf(association, context, query);
    }

    std::vector<Series> FindSeries(const CPacsServer& server, const Settings& settings,
                                   const Query& query) const override {
        const std::lock_guard<std::mutex> hold(m_lock);
        CAssociation association(server, settings);
        const T_ASC_PresentationContextID context =
            association.Open(UID_FINDStudyRootQueryRetrieveInformationModel, false);
        const bool studyFilters = !query.patientName.empty() || !query.patientId.empty() ||
                                  !query.studyDateFrom.empty() || !query.studyDateTo.empty() ||
                                  !query.studyDescription.empty();
        if (!studyFilters && (!query.studyUid.empty() || !query.seriesUid.empty()))
            return SeriesWithTheirStudies(association, context, query);
        Query narrowed = query;
        // A series named without its study: its study is asked for first,
        // rather than going through every study of the archive.
        if (narrowed.studyUid.empty() && !narrowed.seriesUid.empty()) {
            narrowed.studyUid = StudyOfSeries(association, context, narrowed.seriesUid);
            if (narrowed.studyUid.empty()) return {};
        }
        std::vector<Series> rows;
        for (const Study& study : StudiesOf(association, context, narrowed)) {
            std::vector<Series> more = SeriesOf(association, context, study, narrowed, false);
            rows.insert(rows.end(), more.begin(), more.end());
        }
        return rows;
    }

    int Retrieve(const CPacsServer& server, const Settings& settings, const Retrieval& retrieval,
                 const std::string& folder, const Progress& progress) const override {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (retrieval.studyUid.empty() && retrieval.seriesUid.empty())
            Fail(server, "retrieve", "neither a study nor a series is named");
        if (retrieval.method == EMethod::kGet) {
            CGetAssociation association(server, settings, progress, retrieval.expected);
            return association.Run(retrieval, folder);
        }
        return Move(server, settings, retrieval, folder, progress);
    }

private:
    // A study or series named by its UID: one series-level query finds the
    // series, and from most archives their study's fields. A study whose
    // fields did not come is asked for at the study level.
    static std::vector<Series> SeriesWithTheirStudies(CAssociation& association,
                                                      T_ASC_PresentationContextID context,
                                                      const Query& query) {
        Study named;
        named.studyUid = query.studyUid;
        std::vector<Series> rows = SeriesOf(association, context, named, query, true);
        std::map<std::string, Study> studies;
        for (Series& row : rows) {
            const Study& given = row.study;
            if (!given.patientName.empty() || !given.patientId.empty() || !given.studyDate.empty()) continue;
            auto found = studies.find(given.studyUid);
            if (found == studies.end()) {
                Query byUid;
                byUid.studyUid = given.studyUid;
                const std::vector<Study> answer = StudiesOf(association, context, byUid);
                found = studies.emplace(given.studyUid, answer.empty() ? given : answer.front()).first;
            }
            row.study = found->second;
        }
        return rows;
    }

    static int Move(const CPacsServer& server, const Settings& settings, const Retrieval& retrieval,
                    const std::string& folder, const Progress& progress) {
        CMoveReceiver receiver;
        receiver.setAETitle(settings.ourAet.c_str());
        receiver.setPort(static_cast<Uint16>(retrieval.movePort));
        receiver.setOutputDirectory(folder.c_str());
        receiver.setFilenameExtension(".dcm");
        // Names from new UIDs of our own: one made from the server's UIDs could lead out of the folder.
        receiver.setFilenameGenerationMode(DcmStorageSCP::FGM_UniqueFromNewUID);
        receiver.setConnectionBlockingMode(DUL_NOBLOCK);
        // How often the service looks whether the retrieve is over.
        receiver.setConnectionTimeout(1);
        receiver.setACSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
        receiver.setDIMSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
        receiver.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
        receiver.setHostLookupEnabled(OFFalse);
        for (int i = 0; i < numberOfDcmAllStorageSOPClassUIDs; ++i)
            receiver.addPresentationContext(dcmAllStorageSOPClassUIDs[i], AcceptedSyntaxes());
        // Listening before the request goes out: the server may connect as
        // soon as it has it.
        const OFCondition listening = receiver.openListenPort();
        if (listening.bad())
            Fail(server, "C-MOVE",
                 "our storage service cannot listen on port " + std::to_string(retrieval.movePort) + ": " +
                     listening.text());
        std::thread service([&receiver] { receiver.acceptAssociations(); });
        CMoveAssociation association(server, settings, progress, retrieval.expected, receiver);
        try {
            association.Run(retrieval);
        } catch (...) {
            receiver.m_stop = true;
            service.join();
            throw;
        }
        receiver.m_stop = true;
        service.join();
        association.m_tally.Check(association, "C-MOVE", receiver.m_received.load());
        return receiver.m_received.load();
    }

    // DCMTK's network settings (the connection timeout) are global: one
    // operation at a time.
    mutable std::mutex m_lock;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CDimseClient* OrvantaDimseClient() {
    static const CDcmtkDimseClient client;
    return &client;
}
