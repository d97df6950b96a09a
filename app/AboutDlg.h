#pragma once

#include <QDialog>

// The name the application's own message boxes carry as their caption.
inline constexpr char kProductName[] = "Orvanta";

// The product line, the mouse and key navigation and the start-up AVI
// loading, for a user who has no other documentation at hand.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
