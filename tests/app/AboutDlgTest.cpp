#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include "AboutDlg.h"
#include "AppIcon.h"

namespace {

// The plain texts shown inside `group`, in creation order.
QStringList TextsOf(const QGroupBox* group) {
    QStringList texts;
    for (const QLabel* label : group->findChildren<QLabel*>())
        if (!label->text().isEmpty()) texts << label->text();
    return texts;
}

TEST(AboutDlg, ShowsProductNavigationAndBonusGroupsTopToBottom) {
    CAboutDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "About");

    const QList<QGroupBox*> groups = dialog.findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0]->title(), "About");
    EXPECT_EQ(groups[1]->title(), "Navigation keys");
    EXPECT_EQ(groups[2]->title(), "Bonus feature");
    EXPECT_LT(groups[0]->y(), groups[1]->y());
    EXPECT_LT(groups[1]->y(), groups[2]->y());

    EXPECT_EQ(TextsOf(groups[0]), QStringList{"Orvanta v. 0.47"});
    EXPECT_EQ(TextsOf(groups[1]),
              QStringList{"Left mouse\tRotate camera\nRight mouse\tDolly camera\n"
                          "Up/Down\tX, Y slice transparency\n"
                          "Left\t\tMove X slice\nRight\t\tMove Y slice\nMouse scroll\tMove Z slice"});
    EXPECT_EQ(TextsOf(groups[2]),
              QStringList{"Equal-length AVIs in the current dir will be loaded into the 4D display "
                          "during startup."});
    // The icon sits at the left of the product line.
    const QList<QLabel*> aboutLabels = groups[0]->findChildren<QLabel*>();
    ASSERT_EQ(aboutLabels.size(), 2);
    EXPECT_FALSE(aboutLabels[0]->pixmap().isNull());
    EXPECT_LT(aboutLabels[0]->x(), aboutLabels[1]->x());
}

TEST(AboutDlg, ShowsTheIconTheApplicationGetsAtStartUp) {
    SetUpApplication();
    CAboutDlg dialog;
    dialog.show();
    const QList<QLabel*> labels = dialog.findChildren<QGroupBox*>().value(0)->findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    const QImage shown = labels[0]->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage icon = AppIconPixmap(shown.width()).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown, icon) << "a " << shown.width() << " pixel icon that is not the application's";
    EXPECT_EQ(QApplication::applicationName(), "Orvanta");
    QApplication::setWindowIcon(QIcon());
}

TEST(AboutDlg, OkAtTheBottomRightCloses) {
    CAboutDlg dialog;
    dialog.show();
    const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    QPushButton* ok = buttons[0];
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_GT(ok->y(), dialog.findChildren<QGroupBox*>().back()->y());
    EXPECT_GT(ok->x(), dialog.width() / 2);
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
