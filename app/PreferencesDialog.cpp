#include "PreferencesDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <iterator>
#include <string>
#include <type_traits>

#include "AboutDlg.h"

namespace {

constexpr int kMinFrameTimeMs = 1;
constexpr int kMaxFrameTimeMs = 5000;
constexpr double kMinPixelSize = 0.01;
constexpr double kMaxPixelSize = 100.0;
constexpr int kMinSaturationPercent = 1;
constexpr int kMaxSaturationPercent = 100;

// Label and object name of each row, in the order of CPreferencesDialog::EField.
struct SRow {
    const char* label;
    const char* objectName;
};
constexpr SRow kRows[CPreferencesDialog::kFieldCount] = {
    {"&Frame time (ms): ", "frameTimeBox"},      {"&X-pixel size (mm):", "pixelSizeXBox"},
    {"&Y-pixel size (mm):", "pixelSizeYBox"},    {"&Z-pixel size (mm):", "pixelSizeZBox"},
    {"&Saturation (%)", "saturationPercentBox"},
};

// Shortest general notation with up to 15 significant digits, the most that
// survives a decimal round trip; always with '.', since the reading side
// parses independently of the locale too.
QString FormatNumber(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return QString::fromLatin1(text, static_cast<int>(result.ptr - text));
}

}  // namespace

CPreferencesDialog::CPreferencesDialog(CDialogService* dialogs, QWidget* parent)
    : QDialog(parent), m_qtDialogs(this), m_dialogs(dialogs ? dialogs : &m_qtDialogs) {
    setWindowTitle("Preferences");

    auto* rows = new QGridLayout;
    const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12;
    for (int i = 0; i < kFieldCount; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(kRows[i].objectName);
        box->setMinimumWidth(boxWidth);
        auto* label = new QLabel(kRows[i].label, this);
        label->setBuddy(box);
        rows->addWidget(label, i, 0);
        rows->addWidget(box, i, 1);
        m_boxes[i] = box;
    }
    // Only digits can be typed, so a frame time is never negative or fractional.
    Box(EField::kFrameTime)
        ->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]*"), Box(EField::kFrameTime)));

    m_okButton = new QPushButton("OK", this);
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton("Cancel", this);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* const tabChain[] = {m_boxes[0], m_boxes[1], m_boxes[2],    m_boxes[3],
                                 m_boxes[4], m_okButton, m_cancelButton};
    for (std::size_t i = 1; i < std::size(tabChain); ++i) setTabOrder(tabChain[i - 1], tabChain[i]);
}

int CPreferencesDialog::SaturationToPercent(double saturation) {
    if (!std::isfinite(saturation)) return 0;
    const double percent = std::round(saturation * 100.0);
    return static_cast<int>(std::clamp(percent, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

double CPreferencesDialog::PercentToSaturation(int percent) {
    return percent * 0.01;
}

void CPreferencesDialog::ShowFields() {
    Box(EField::kFrameTime)->setText(QString::number(m_frameTimeMs));
    Box(EField::kPixelSizeX)->setText(FormatNumber(m_pixelSizeX));
    Box(EField::kPixelSizeY)->setText(FormatNumber(m_pixelSizeY));
    Box(EField::kPixelSizeZ)->setText(FormatNumber(m_pixelSizeZ));
    Box(EField::kSaturation)->setText(QString::number(m_saturationPercent));
}

template <typename T>
bool CPreferencesDialog::ReadBox(EField field, T low, T high, T& value) {
    QLineEdit* box = Box(field);
    const std::string text = box->text().trimmed().toStdString();
    const char* end = text.data() + text.size();
    T parsed{};
    const auto [stop, error] = std::from_chars(text.data(), end, parsed);
    const bool wholeText = !text.empty() && stop == end;
    // Every comparison with a NaN is false, so "nan" fails the range check too.
    if (wholeText && error == std::errc() && parsed >= low && parsed <= high) {
        value = parsed;
        return true;
    }
    // A number too large for its type is still a number: say which range is allowed.
    const bool isNumber = wholeText && (error == std::errc() || error == std::errc::result_out_of_range);
    const std::string kind = std::is_integral_v<T> ? "an integer" : "a number";
    const std::string range = FormatNumber(low).toStdString() + " and " + FormatNumber(high).toStdString();
    const std::string message =
        isNumber ? "Please enter " + kind + " between " + range + "." : "Please enter " + kind + ".";
    m_dialogs->ShowMessage(kProductName, message, CDialogService::Icon::kWarning);
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
    return false;
}

bool CPreferencesDialog::Validate() {
    // Read into copies so that a refused entry leaves every field as the caller set it.
    int frameTimeMs = 0;
    double pixelSizeX = 0.0;
    double pixelSizeY = 0.0;
    double pixelSizeZ = 0.0;
    int saturationPercent = 0;
    if (!ReadBox(EField::kFrameTime, kMinFrameTimeMs, kMaxFrameTimeMs, frameTimeMs) ||
        !ReadBox(EField::kPixelSizeZ, kMinPixelSize, kMaxPixelSize, pixelSizeZ) ||
        !ReadBox(EField::kPixelSizeY, kMinPixelSize, kMaxPixelSize, pixelSizeY) ||
        !ReadBox(EField::kPixelSizeX, kMinPixelSize, kMaxPixelSize, pixelSizeX) ||
        !ReadBox(EField::kSaturation, kMinSaturationPercent, kMaxSaturationPercent, saturationPercent))
        return false;
    m_frameTimeMs = frameTimeMs;
    m_pixelSizeX = pixelSizeX;
    m_pixelSizeY = pixelSizeY;
    m_pixelSizeZ = pixelSizeZ;
    m_saturationPercent = saturationPercent;
    return true;
}

void CPreferencesDialog::accept() {
    if (Validate()) QDialog::accept();
}

void CPreferencesDialog::showEvent(QShowEvent* event) {
    // A window restored from the task bar is shown again by the system; the
    // user's unconfirmed edits must survive that.
    if (!event->spontaneous()) ShowFields();
    QDialog::showEvent(event);
}
