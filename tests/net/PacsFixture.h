#pragma once

#include <gtest/gtest.h>

#include "DimseClient.h"
#include "OrthancServer.h"
#include "TempFolder.h"

// A test against the archive of COrthancServer::StandardSeries(), started
// afresh for each test (a fault test may stop it).
class PacsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_orthanc.Start(COrthancServer::StandardSeries(), error)) << error;
        m_settings.timeoutSeconds = 10;
    }

    const CDimseClient& Client() const { return CDimseClient::Get(); }
    CPacsServer Server() const { return m_orthanc.Server(); }
    CDimseClient::Retrieval SeriesRetrieval(const std::string& seriesUid,
                                            CDimseClient::EMethod method) const {
        CDimseClient::Retrieval retrieval;
        retrieval.seriesUid = seriesUid;
        retrieval.method = method;
        retrieval.movePort = m_orthanc.MovePort();
        return retrieval;
    }

    COrthancServer m_orthanc;
    CDimseClient::Settings m_settings;
    TempFolder m_folder;
};
