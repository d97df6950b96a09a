#include "AboutDlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

void AddGroup(QVBoxLayout* layout, const char* title, QLayout* content) {
    auto* group = new QGroupBox(title);
    group->setLayout(content);
    layout->addWidget(group);
}

QLabel* PlainLabel(const char* text) {
    auto* label = new QLabel(text);
    // QLabel expands tabs into columns only in plain text, and must not guess rich text.
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The smallest tab distance at which the second column of every line starts
// at one place, two spaces or more away from the first column. The text says
// with its number of tabs which first entries are short; the platform's
// fixed tab stops would leave a medium entry such as "Up/Down" out of line.
int AligningTabDistance(const QFontMetrics& metrics, const QString& text) {
    const int gap = 2 * metrics.horizontalAdvance(QLatin1Char(' '));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int distance = gap; distance < 100 * gap; ++distance) {
        int column = -1;
        bool aligned = true;
        for (const QString& line : lines) {
            const qsizetype tabs = line.count(QLatin1Char('\t'));
            if (tabs == 0) continue;
            const int width = metrics.horizontalAdvance(line.left(line.indexOf(QLatin1Char('\t'))));
            const int start = (width / distance + static_cast<int>(tabs)) * distance;
            aligned = start - width >= gap && (column < 0 || start == column);
            if (!aligned) break;
            column = start;
        }
        if (aligned) return distance;
    }
    return 8 * metrics.averageCharWidth();
}

// A plain-text label whose tab-separated columns line up.
class CColumnsLabel : public QLabel {
public:
    explicit CColumnsLabel(const char* text) : QLabel(text) { setTextFormat(Qt::PlainText); }

    QSize sizeHint() const override {
        const QRect bounds = fontMetrics().boundingRect(QRect(), Qt::TextExpandTabs, text(), TabDistance());
        const QMargins margins = contentsMargins();
        return bounds.size().grownBy(margins);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setTabStopDistance(TabDistance());
        option.setWrapMode(QTextOption::NoWrap);
        painter.drawText(QRectF(contentsRect()), text(), option);
    }

private:
    int TabDistance() const { return AligningTabDistance(fontMetrics(), text()); }
};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    auto* layout = new QVBoxLayout(this);

    auto* icon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
    QIcon applicationIcon = QApplication::windowIcon();
    // Until the application installs its own icon, a generic one keeps the row's shape.
    if (applicationIcon.isNull()) applicationIcon = style()->standardIcon(QStyle::SP_ComputerIcon);
    icon->setPixmap(applicationIcon.pixmap(iconSize, iconSize));
    auto* productRow = new QHBoxLayout;
    productRow->addWidget(icon);
    productRow->addWidget(PlainLabel("Orvanta v. 0.47"));
    productRow->addStretch();
    AddGroup(layout, "About", productRow);

    auto* navigationRow = new QHBoxLayout;
    navigationRow->addWidget(new CColumnsLabel(
        "Left mouse\tRotate camera\nRight mouse\tDolly camera\nUp/Down\tX, Y slice transparency\n"
        "Left\t\tMove X slice\nRight\t\tMove Y slice\nMouse scroll\tMove Z slice"));
    AddGroup(layout, "Navigation keys", navigationRow);

    QLabel* bonus = PlainLabel(
        "Equal-length AVIs in the current dir will be loaded into the 4D display "
        "during startup.");
    bonus->setWordWrap(true);
    auto* bonusRow = new QHBoxLayout;
    bonusRow->addWidget(bonus);
    AddGroup(layout, "Bonus feature", bonusRow);

    auto* okButton = new QPushButton("OK", this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);
    layout->addLayout(buttonRow);
}
