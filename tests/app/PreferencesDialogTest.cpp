#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QValidator>
#include <initializer_list>
#include <string>
#include <vector>

#include "PreferencesDialog.h"

namespace {

using EField = CPreferencesDialog::EField;

// Records every message and answers at once, so no test waits on a modal box.
class CRecordingDialogService : public CDialogService {
public:
    struct SMessage {
        std::string caption;
        std::string text;
    };
    void ShowMessage(const std::string& caption, const std::string& text, Icon) override {
        m_messages.push_back({caption, text});
    }
    std::string AskOpenFileName(const FileRequest&) override { return ""; }
    std::string AskSaveFileName(const FileRequest&) override { return ""; }
    std::string AskFolderName(const std::string&) override { return ""; }
    int AskChoice(const CChoiceTable&) override { return -1; }

    std::vector<SMessage> m_messages;
};

void ExpectFields(const CPreferencesDialog& dialog, int frameTimeMs, double pixelSizeX, double pixelSizeY,
                  double pixelSizeZ, int saturationPercent) {
    EXPECT_EQ(dialog.m_frameTimeMs, frameTimeMs);
    EXPECT_EQ(dialog.m_pixelSizeX, pixelSizeX);
    EXPECT_EQ(dialog.m_pixelSizeY, pixelSizeY);
    EXPECT_EQ(dialog.m_pixelSizeZ, pixelSizeZ);
    EXPECT_EQ(dialog.m_saturationPercent, saturationPercent);
}

class PreferencesDialogTest : public ::testing::Test {
protected:
    // The main frame's start-up state, filled in as the frame does it.
    void SetUp() override {
        m_dialog.m_frameTimeMs = 55;
        m_dialog.m_pixelSizeX = 1.3671875;
        m_dialog.m_pixelSizeY = 1.3671875;
        m_dialog.m_pixelSizeZ = 6.0;
        m_dialog.m_saturationPercent = CPreferencesDialog::SaturationToPercent(0.98);
        m_dialog.show();
    }

    QString Text(EField field) const { return m_dialog.Box(field)->text(); }
    void Enter(EField field, const char* text) { m_dialog.Box(field)->setText(text); }
    // Fills the boxes in row order: frame time, X, Y, Z, saturation.
    void EnterRows(std::initializer_list<const char*> texts) {
        int row = 0;
        for (const char* text : texts) Enter(static_cast<EField>(row++), text);
    }

    void ExpectFieldsUnchanged() const { ExpectFields(m_dialog, 55, 1.3671875, 1.3671875, 6.0, 98); }

    // Validation must fail with one message naming `expected`, the focus on the refused box.
    void ExpectRefused(EField field, const std::string& expected) {
        SCOPED_TRACE("refused box " + m_dialog.Box(field)->objectName().toStdString() + " holding \"" +
                     Text(field).toStdString() + "\"");
        m_dialogs.m_messages.clear();
        EXPECT_FALSE(m_dialog.Validate());
        ASSERT_EQ(m_dialogs.m_messages.size(), 1u);
        EXPECT_EQ(m_dialogs.m_messages[0].caption, "Orvanta");
        EXPECT_EQ(m_dialogs.m_messages[0].text, expected);
        EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Box(field));
        EXPECT_EQ(m_dialog.Box(field)->selectedText(), Text(field));
        ExpectFieldsUnchanged();
    }

    struct SRefusal {
        EField field;
        const char* text;
        const char* message;
    };
    // Each entry alone, in otherwise valid boxes.
    void ExpectEachRefused(std::initializer_list<SRefusal> refusals) {
        for (const SRefusal& refusal : refusals) {
            m_dialog.ShowFields();
            Enter(refusal.field, refusal.text);
            ExpectRefused(refusal.field, refusal.message);
        }
    }

    CRecordingDialogService m_dialogs;
    CPreferencesDialog m_dialog{&m_dialogs};
};

const char* const kFrameTimeRange = "Please enter an integer between 1 and 5000.";
const char* const kPixelSizeRange = "Please enter a number between 0.01 and 100.";
const char* const kSaturationRange = "Please enter an integer between 1 and 100.";

TEST(PreferencesDialogConstruction, FieldsStartAtZero) {
    CPreferencesDialog dialog;
    ExpectFields(dialog, 0, 0.0, 0.0, 0.0, 0);
}

TEST(PreferencesSaturation, PercentRoundsAndSurvivesTheRoundTrip) {
    EXPECT_EQ(CPreferencesDialog::SaturationToPercent(0.98), 98);
    EXPECT_EQ(CPreferencesDialog::SaturationToPercent(0.29), 29);
    EXPECT_EQ(CPreferencesDialog::SaturationToPercent(0.994), 99);
    EXPECT_EQ(CPreferencesDialog::SaturationToPercent(0.996), 100);
    // 0.29 * 100 is 28.999999999999996: truncation would turn an untouched 29 into 28.
    for (int percent = 1; percent <= 100; ++percent)
        EXPECT_EQ(CPreferencesDialog::SaturationToPercent(CPreferencesDialog::PercentToSaturation(percent)),
                  percent);
    EXPECT_DOUBLE_EQ(CPreferencesDialog::PercentToSaturation(98), 0.98);
}

TEST_F(PreferencesDialogTest, ShowsTheFieldsWhenShown) {
    EXPECT_EQ(Text(EField::kFrameTime), "55");
    EXPECT_EQ(Text(EField::kPixelSizeX), "1.3671875");
    EXPECT_EQ(Text(EField::kPixelSizeY), "1.3671875");
    EXPECT_EQ(Text(EField::kPixelSizeZ), "6");
    EXPECT_EQ(Text(EField::kSaturation), "98");
}

TEST_F(PreferencesDialogTest, NumbersUseShortestFormAndPointWhateverTheLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_dialog.hide();
    m_dialog.m_pixelSizeX = 0.1;
    m_dialog.m_pixelSizeY = 1.0 / 3.0;
    m_dialog.m_pixelSizeZ = 100.0;
    m_dialog.show();
    EXPECT_EQ(Text(EField::kPixelSizeX), "0.1");
    EXPECT_EQ(Text(EField::kPixelSizeY), "0.333333333333333");
    EXPECT_EQ(Text(EField::kPixelSizeZ), "100");

    Enter(EField::kPixelSizeX, " 2.5 ");
    const bool accepted = m_dialog.Validate();
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(accepted);
    EXPECT_EQ(m_dialog.m_pixelSizeX, 2.5);
    EXPECT_EQ(m_dialog.m_pixelSizeY, 0.333333333333333);
}

TEST_F(PreferencesDialogTest, AcceptsTheRangeBoundsAndStoresEveryField) {
    EnterRows({"1", "0.01", "100", "0.5", "1"});
    ASSERT_TRUE(m_dialog.Validate());
    EXPECT_TRUE(m_dialogs.m_messages.empty());
    ExpectFields(m_dialog, 1, 0.01, 100.0, 0.5, 1);

    EnterRows({"5000", "100", "0.01", "1e2", "100"});
    ASSERT_TRUE(m_dialog.Validate());
    ExpectFields(m_dialog, 5000, 100.0, 0.01, 100.0, 100);
}

TEST_F(PreferencesDialogTest, RefusesValuesJustOutsideTheRanges) {
    ExpectEachRefused({
        {EField::kFrameTime, "0", kFrameTimeRange},
        {EField::kFrameTime, "5001", kFrameTimeRange},
        {EField::kFrameTime, "-5", kFrameTimeRange},
        {EField::kPixelSizeZ, "0.009", kPixelSizeRange},
        {EField::kPixelSizeZ, "100.5", kPixelSizeRange},
        {EField::kPixelSizeY, "0.009", kPixelSizeRange},
        {EField::kPixelSizeY, "100.5", kPixelSizeRange},
        {EField::kPixelSizeX, "0.009", kPixelSizeRange},
        {EField::kPixelSizeX, "100.5", kPixelSizeRange},
        {EField::kPixelSizeX, "-1", kPixelSizeRange},
        {EField::kSaturation, "0", kSaturationRange},
        {EField::kSaturation, "101", kSaturationRange},
        // Too large for any integer or double, yet still a number: the range is what helps.
        {EField::kFrameTime, "99999999999", kFrameTimeRange},
        {EField::kPixelSizeZ, "1e999", kPixelSizeRange},
        {EField::kPixelSizeZ, "nan", kPixelSizeRange},
    });
}

TEST_F(PreferencesDialogTest, RefusesTextThatIsNoNumber) {
    ExpectEachRefused({
        {EField::kFrameTime, "", "Please enter an integer."},
        {EField::kFrameTime, "1.5", "Please enter an integer."},
        {EField::kFrameTime, "12abc", "Please enter an integer."},
        {EField::kPixelSizeX, "abc", "Please enter a number."},
        {EField::kPixelSizeY, "1,5", "Please enter a number."},
        {EField::kPixelSizeZ, "  ", "Please enter a number."},
        {EField::kSaturation, "50.0", "Please enter an integer."},
    });
}

TEST_F(PreferencesDialogTest, ReportsTheFirstRefusedValueInExchangeOrder) {
    // Z, Y, X are checked in that order although the rows show X first.
    const struct {
        EField first;
        EField second;
    } cases[] = {
        {EField::kFrameTime, EField::kPixelSizeX},  {EField::kPixelSizeZ, EField::kPixelSizeX},
        {EField::kPixelSizeZ, EField::kPixelSizeY}, {EField::kPixelSizeY, EField::kPixelSizeX},
        {EField::kPixelSizeX, EField::kSaturation},
    };
    for (const auto& c : cases) {
        m_dialog.ShowFields();
        Enter(c.second, "0");
        Enter(c.first, "0");
        ExpectRefused(c.first, c.first == EField::kFrameTime ? kFrameTimeRange : kPixelSizeRange);
    }
}

TEST_F(PreferencesDialogTest, FrameTimeBoxTakesDigitsOnly) {
    const QValidator* validator = m_dialog.Box(EField::kFrameTime)->validator();
    ASSERT_NE(validator, nullptr);
    for (const char* text : {"-5", "1.5", "abc", "1e3", " 5"}) {
        QString input(text);
        int position = 0;
        EXPECT_EQ(validator->validate(input, position), QValidator::Invalid) << text;
    }
    QString digits("0123456789");
    int position = 0;
    EXPECT_EQ(validator->validate(digits, position), QValidator::Acceptable);
    // The other boxes take any text and leave the judgement to the exchange.
    EXPECT_EQ(m_dialog.Box(EField::kPixelSizeX)->validator(), nullptr);
}

TEST_F(PreferencesDialogTest, OkClosesOnlyWhenEveryValueIsAccepted) {
    Enter(EField::kSaturation, "101");
    m_dialog.OkButton()->click();
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_EQ(m_dialogs.m_messages.size(), 1u);
    ExpectFieldsUnchanged();

    Enter(EField::kSaturation, "29");
    Enter(EField::kFrameTime, "100");
    m_dialog.OkButton()->click();
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_saturationPercent, 29);
    EXPECT_EQ(m_dialog.m_frameTimeMs, 100);
}

TEST_F(PreferencesDialogTest, CancelAfterEditingLeavesEveryField) {
    EnterRows({"100", "2", "3", "4", "50"});
    m_dialog.CancelButton()->click();
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(m_dialogs.m_messages.empty());
    ExpectFieldsUnchanged();
}

TEST_F(PreferencesDialogTest, RowsAndTabOrderRunFrameTimeXYZSaturation) {
    const char* const labels[] = {"&Frame time (ms): ", "&X-pixel size (mm):", "&Y-pixel size (mm):",
                                  "&Z-pixel size (mm):", "&Saturation (%)"};
    const EField rows[] = {EField::kFrameTime, EField::kPixelSizeX, EField::kPixelSizeY, EField::kPixelSizeZ,
                           EField::kSaturation};
    int previousTop = -1;
    for (int i = 0; i < 5; ++i) {
        QLineEdit* box = m_dialog.Box(rows[i]);
        const QLabel* label = nullptr;
        for (const QLabel* candidate : m_dialog.findChildren<QLabel*>())
            if (candidate->buddy() == box) label = candidate;
        ASSERT_NE(label, nullptr) << labels[i];
        EXPECT_EQ(label->text(), labels[i]);
        EXPECT_LT(label->x(), box->x()) << labels[i];
        EXPECT_GT(box->y(), previousTop) << labels[i];
        previousTop = box->y();
    }
    EXPECT_GT(m_dialog.OkButton()->y(), previousTop);
    EXPECT_LT(m_dialog.OkButton()->x(), m_dialog.CancelButton()->x());
    EXPECT_TRUE(m_dialog.OkButton()->isDefault());
    EXPECT_EQ(m_dialog.windowTitle(), "Preferences");

    const QWidget* expected[] = {m_dialog.Box(EField::kPixelSizeX),
                                 m_dialog.Box(EField::kPixelSizeY),
                                 m_dialog.Box(EField::kPixelSizeZ),
                                 m_dialog.Box(EField::kSaturation),
                                 m_dialog.OkButton(),
                                 m_dialog.CancelButton()};
    const QWidget* current = m_dialog.Box(EField::kFrameTime);
    for (const QWidget* next : expected) {
        do current = current->nextInFocusChain();
        while (!(current->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(current, next) << current->objectName().toStdString();
    }
}

}  // namespace
