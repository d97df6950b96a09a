#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "PacsServerList.h"
#include "PacsSource.h"

class CDialogService;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QLabel;
class QSpinBox;

// File > Open from PACS...: the archives of the preferences (kept and edited
// on the Servers tab, each with a Test button), a search form, the studies
// found and the series of the one chosen, and Retrieve, which brings the
// series into the cache with a progress bar and Cancel. Accepted, it names
// the folder the series came into, which loads as any DICOM folder does.
class CPacsDialog : public QDialog {
    Q_OBJECT

public:
    // `dialogs` shows the faults; `settingsFile` keeps the servers ("" the user's own).
    CPacsDialog(CDialogService& dialogs, std::string settingsFile, QWidget* parent = nullptr);
    ~CPacsDialog() override;

    // After Accept: the cache folder of the series retrieved, and its UID.
    const std::string& Folder() const { return m_folder; }
    const std::string& SeriesUid() const { return m_seriesUid; }

    // What the buttons do, for the tests as for the user.
    bool Search();
    bool TestServer();
    bool RetrieveChosen();
    void ChooseStudy(int row);

    QComboBox* ServerBox() const { return m_serverBox; }
    QLineEdit* Field(int index) const { return m_fields.at(static_cast<size_t>(index)); }
    QTableWidget* Studies() const { return m_studies; }
    QTableWidget* SeriesTable() const { return m_series; }
    QTableWidget* ServerTable() const { return m_serverTable; }
    // The search form's boxes, in order.
    enum EField { kPatientName, kPatientId, kDateFrom, kDateTo, kModality, kDescription, kFieldCount };

    // The servers as the Servers tab has them, and writing them back.
    CPacsServerList EditedServers() const;
    bool SaveServers();

private:
    void BuildSearchTab(QWidget* tab);
    void BuildServersTab(QWidget* tab);
    void FillServers();
    std::unique_ptr<CPacsSource> MakeSource();
    void Fail(const std::string& text);

    CDialogService& m_dialogs;
    std::string m_settingsFile;
    CPacsServerList m_list;
    QComboBox* m_serverBox = nullptr;
    std::vector<QLineEdit*> m_fields;
    QTableWidget* m_studies = nullptr;
    QTableWidget* m_series = nullptr;
    QPushButton* m_retrieve = nullptr;
    QLabel* m_status = nullptr;
    QTableWidget* m_serverTable = nullptr;
    QLineEdit* m_ourAet = nullptr;
    QSpinBox* m_cacheMegabytes = nullptr;
    // The series found, and the studies they belong to in the order shown.
    std::vector<CPacsSource::CSeries> m_found;
    std::vector<std::string> m_studyUids;
    std::vector<size_t> m_shownSeries;  // rows of the series table, as indices into m_found
    std::string m_folder, m_seriesUid;
};
