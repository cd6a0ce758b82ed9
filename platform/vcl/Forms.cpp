#include "platform/vcl/Forms.h"

#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "platform/vcl/Application.h"

TForm::TForm(QWidget* parent) : QWidget(parent) {}

void TForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring from minimised shows the window again; only the first show counts.
    if (shown_ || !isWindow()) return;
    shown_ = true;
    if (OnShow) TApplication::HandleEvent(OnShow);
    CentreOnScreen();
}

void TForm::CentreOnScreen() {
    const QScreen* current = screen();
    const QRect screenRect = current->geometry();
    const QRect desktop = current->availableGeometry();
    const QSize frame = frameGeometry().size();
    const int x = screenRect.x() + (screenRect.width() - frame.width()) / 2;
    const int y = screenRect.y() + (screenRect.height() - frame.height()) / 2;
    move(std::max(x, desktop.left()), std::max(y, desktop.top()));
}

namespace vcl {

QFont Tahoma(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace vcl
