#include "AppIcon.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-unit grid and scaled, so every size shows the same picture.
    painter.scale(size / 32.0, size / 32.0);
    painter.fillRect(QRectF(3, 3, 26, 26), QColor(20, 20, 30));
    painter.setPen(QPen(QColor(0, 0, 180), 2));
    painter.drawRect(QRectF(3, 3, 26, 26));
    painter.setPen(QPen(QColor(230, 0, 0), 2));
    painter.drawLine(QPointF(16, 5), QPointF(16, 27));
    painter.setPen(QPen(QColor(0, 180, 0), 2));
    painter.drawLine(QPointF(5, 16), QPointF(27, 16));
    painter.setBrush(QColor(200, 200, 200));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(16, 16), 5, 5);
    return pixmap;
}

void SetUpApplication() {
    QApplication::setApplicationName("Orvanta");
    QIcon icon;
    for (int size : {16, 32, 64, 128, 256}) icon.addPixmap(AppIconPixmap(size));
    QApplication::setWindowIcon(icon);
}
