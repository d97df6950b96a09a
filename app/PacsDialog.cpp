#include "PacsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "DialogService.h"

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Bytes(const QLineEdit* box) {
    return box->text().trimmed().toStdString();
}

// A table whose rows are chosen whole and not edited in place.
QTableWidget* ResultTable(const QStringList& headers, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QString Count(int images) {
    return images < 0 ? QString() : QString::number(images);
}

// The Servers tab's columns.
enum { kName, kAet, kHost, kPort, kUrl, kServerColumns };

}  // namespace

CPacsDialog::CPacsDialog(CDialogService& dialogs, std::string settingsFile, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_settingsFile(std::move(settingsFile)) {
    setWindowTitle("Open from PACS");
    m_list = CPacsServerList::Load(m_settingsFile);
    auto* tabs = new QTabWidget(this);
    auto* search = new QWidget(tabs);
    auto* servers = new QWidget(tabs);
    tabs->addTab(search, "Search");
    tabs->addTab(servers, "Servers");
    BuildSearchTab(search);
    BuildServersTab(servers);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    auto* close = new QPushButton("Close", this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(760, 560);
    FillServers();
}

CPacsDialog::~CPacsDialog() = default;

void CPacsDialog::BuildSearchTab(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    auto* serverRow = new QHBoxLayout;
    m_serverBox = new QComboBox(tab);
    auto* test = new QPushButton("Test", tab);
    connect(test, &QPushButton::clicked, this, [this] { TestServer(); });
    serverRow->addWidget(new QLabel("Server:", tab));
    serverRow->addWidget(m_serverBox, 1);
    serverRow->addWidget(test);
    layout->addLayout(serverRow);

    auto* form = new QFormLayout;
    const char* labels[kFieldCount] = {"Patient name:",  "Patient ID:", "Study date from (YYYYMMDD):",
                                       "Study date to:", "Modality:",   "Description:"};
    for (const char* label : labels) {
        auto* box = new QLineEdit(tab);
        connect(box, &QLineEdit::returnPressed, this, [this] { Search(); });
        form->addRow(label, box);
        m_fields.push_back(box);
    }
    m_fields[kPatientName]->setPlaceholderText("DOE^J*");
    layout->addLayout(form);
    auto* searchButton = new QPushButton("Search", tab);
    connect(searchButton, &QPushButton::clicked, this, [this] { Search(); });
    layout->addWidget(searchButton, 0, Qt::AlignRight);

    m_studies = ResultTable({"Patient", "Patient ID", "Date", "Study", "Series"}, tab);
    m_series = ResultTable({"Number", "Description", "Modality", "Images"}, tab);
    connect(m_studies, &QTableWidget::currentCellChanged, this, [this](int row) { ChooseStudy(row); });
    connect(m_series, &QTableWidget::cellDoubleClicked, this, [this] { RetrieveChosen(); });
    layout->addWidget(m_studies, 1);
    layout->addWidget(m_series, 1);
    auto* bottom = new QHBoxLayout;
    m_status = new QLabel(tab);
    m_retrieve = new QPushButton("Retrieve", tab);
    m_retrieve->setEnabled(false);
    connect(m_retrieve, &QPushButton::clicked, this, [this] { RetrieveChosen(); });
    connect(m_series, &QTableWidget::currentCellChanged, this,
            [this](int row) { m_retrieve->setEnabled(row >= 0); });
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_retrieve);
    layout->addLayout(bottom);
}

void CPacsDialog::BuildServersTab(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    m_serverTable = new QTableWidget(0, kServerColumns, tab);
    m_serverTable->setHorizontalHeaderLabels({"Name", "AE title", "Host", "Port", "DICOMweb URL"});
    m_serverTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_serverTable, 1);
    auto* rowButtons = new QHBoxLayout;
    auto* add = new QPushButton("Add", tab);
    auto* remove = new QPushButton("Remove", tab);
    auto* save = new QPushButton("Save", tab);
    connect(add, &QPushButton::clicked, this, [this] {
        const int row = m_serverTable->rowCount();
        m_serverTable->insertRow(row);
        SetRow(m_serverTable, row, {"", "", "", "104", ""});
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_serverTable->currentRow() >= 0) m_serverTable->removeRow(m_serverTable->currentRow());
    });
    connect(save, &QPushButton::clicked, this, [this] { SaveServers(); });
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch();
    rowButtons->addWidget(save);
    layout->addLayout(rowButtons);
    auto* form = new QFormLayout;
    m_ourAet = new QLineEdit(tab);
    m_ourAet->setMaxLength(16);
    m_cacheMegabytes = new QSpinBox(tab);
    m_cacheMegabytes->setRange(16, 1 << 24);
    m_cacheMegabytes->setSuffix(" MB");
    form->addRow("Our AE title:", m_ourAet);
    form->addRow("Cache size:", m_cacheMegabytes);
    layout->addLayout(form);
}

void CPacsDialog::FillServers() {
    m_serverBox->clear();
    for (const CPacsServerEntry& server : m_list.servers) m_serverBox->addItem(Text(server.name));
    m_serverTable->setRowCount(static_cast<int>(m_list.servers.size()));
    for (size_t i = 0; i < m_list.servers.size(); ++i) {
        const CPacsServerEntry& s = m_list.servers[i];
        SetRow(m_serverTable, static_cast<int>(i),
               {Text(s.name), Text(s.aet), Text(s.host), QString::number(s.port), Text(s.url)});
    }
    m_ourAet->setText(Text(m_list.ourAet));
    m_cacheMegabytes->setValue(static_cast<int>(m_list.cacheMegabytes));
}

CPacsServerList CPacsDialog::EditedServers() const {
    CPacsServerList list = m_list;
    list.servers.clear();
    const auto cell = [this](int row, int column) {
        const QTableWidgetItem* item = m_serverTable->item(row, column);
        return item == nullptr ? std::string() : item->text().trimmed().toStdString();
    };
    for (int row = 0; row < m_serverTable->rowCount(); ++row) {
        CPacsServerEntry entry{cell(row, kName), cell(row, kAet), cell(row, kHost), 0, cell(row, kUrl)};
        bool number = false;
        entry.port = QString::fromStdString(cell(row, kPort)).toInt(&number);
        if (!number) entry.port = 0;
        list.servers.push_back(entry);
    }
    list.ourAet = m_ourAet->text().trimmed().toStdString();
    list.cacheMegabytes = static_cast<uint64_t>(m_cacheMegabytes->value());
    return list;
}

bool CPacsDialog::SaveServers() {
    const CPacsServerList list = EditedServers();
    for (size_t i = 0; i < list.servers.size(); ++i)
        if (const std::string fault = list.servers[i].Fault(); !fault.empty()) {
            Fail("Server " + std::to_string(i + 1) + ": " + fault + ".");
            return false;
        }
    if (const std::string fault = list.OurAetFault(); !fault.empty()) {
        Fail(fault);
        return false;
    }
    list.Save(m_settingsFile);
    m_list = list;
    FillServers();
    return true;
}

std::unique_ptr<CPacsSource> CPacsDialog::MakeSource() {
    const int at = m_serverBox->currentIndex();
    if (at < 0 || at >= static_cast<int>(m_list.servers.size())) {
        Fail("There is no server to ask: add one on the Servers tab.");
        return nullptr;
    }
    if (!CPacsSource::MakeFactory()) {
        Fail("This Orvanta was built without its network module.");
        return nullptr;
    }
    return CPacsSource::MakeFactory()(m_list.servers[static_cast<size_t>(at)], m_list);
}

void CPacsDialog::Fail(const std::string& text) {
    m_status->setText(Text(text));
    m_dialogs.ShowMessage("Open from PACS", text, CDialogService::Icon::kError);
}

bool CPacsDialog::TestServer() {
    try {
        const std::unique_ptr<CPacsSource> source = MakeSource();
        if (!source) return false;
        source->Test();
        m_status->setText(Text(source->Name() + " answers."));
        return true;
    } catch (const std::exception& error) {
        Fail(error.what());
        return false;
    }
}

bool CPacsDialog::Search() {
    CPacsSource::CQuery query;
    query.patientName = Bytes(m_fields[kPatientName]);
    query.patientId = Bytes(m_fields[kPatientId]);
    query.studyDateFrom = Bytes(m_fields[kDateFrom]);
    query.studyDateTo = Bytes(m_fields[kDateTo]);
    query.modality = Bytes(m_fields[kModality]);
    query.description = Bytes(m_fields[kDescription]);
    std::vector<CPacsSource::CSeries> found;
    try {
        const std::unique_ptr<CPacsSource> source = MakeSource();
        if (!source) return false;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        found = source->FindSeries(query);
        QApplication::restoreOverrideCursor();
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        Fail(error.what());
        return false;
    }
    m_found = std::move(found);
    m_studyUids.clear();
    std::vector<int> seriesCount;
    for (const CPacsSource::CSeries& series : m_found) {
        const auto at = std::find(m_studyUids.begin(), m_studyUids.end(), series.studyUid);
        if (at == m_studyUids.end()) {
            m_studyUids.push_back(series.studyUid);
            seriesCount.push_back(1);
        } else {
            ++seriesCount[static_cast<size_t>(at - m_studyUids.begin())];
        }
    }
    m_studies->setRowCount(static_cast<int>(m_studyUids.size()));
    for (size_t i = 0; i < m_studyUids.size(); ++i) {
        const auto first = std::find_if(m_found.begin(), m_found.end(), [&](const CPacsSource::CSeries& s) {
            return s.studyUid == m_studyUids[i];
        });
        SetRow(m_studies, static_cast<int>(i),
               {Text(first->patientName), Text(first->patientId), Text(first->studyDate),
                Text(first->studyDescription), QString::number(seriesCount[i])});
    }
    m_series->setRowCount(0);
    m_shownSeries.clear();
    m_status->setText(m_found.empty()
                          ? "No series matches."
                          : QString("%1 series in %2 studies.").arg(m_found.size()).arg(m_studyUids.size()));
    if (!m_studyUids.empty()) m_studies->setCurrentCell(0, 0);
    return true;
}

void CPacsDialog::ChooseStudy(int row) {
    m_series->setRowCount(0);
    m_shownSeries.clear();
    if (row < 0 || row >= static_cast<int>(m_studyUids.size())) return;
    for (size_t i = 0; i < m_found.size(); ++i)
        if (m_found[i].studyUid == m_studyUids[static_cast<size_t>(row)]) m_shownSeries.push_back(i);
    m_series->setRowCount(static_cast<int>(m_shownSeries.size()));
    for (size_t r = 0; r < m_shownSeries.size(); ++r) {
        const CPacsSource::CSeries& s = m_found[m_shownSeries[r]];
        SetRow(m_series, static_cast<int>(r),
               {Text(s.seriesNumber), Text(s.seriesDescription), Text(s.modality), Count(s.images)});
    }
    m_retrieve->setEnabled(false);
}

bool CPacsDialog::RetrieveChosen() {
    const int row = m_series->currentRow();
    if (row < 0 || row >= static_cast<int>(m_shownSeries.size())) return false;
    const CPacsSource::CSeries& series = m_found[m_shownSeries[static_cast<size_t>(row)]];
    QProgressDialog progress("Retrieving images...", "Cancel", 0, std::max(series.images, 0), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    try {
        const std::unique_ptr<CPacsSource> source = MakeSource();
        if (!source) return false;
        const bool runEvents = !source->RunsEvents();
        m_folder = source->Retrieve(series, [&progress, runEvents](int received, int expected) {
            if (expected > 0 && progress.maximum() != expected) progress.setMaximum(expected);
            progress.setLabelText(expected > 0 ? QString("Image %1 of %2").arg(received).arg(expected)
                                               : QString("Image %1").arg(received));
            progress.setValue(expected > 0 ? std::min(received, expected) : 0);
            if (runEvents) QApplication::processEvents();
            return !progress.wasCanceled();
        });
    } catch (const std::exception& error) {
        progress.reset();
        m_folder.clear();
        Fail(error.what());
        return false;
    }
    m_seriesUid = series.seriesUid;
    accept();
    return true;
}
