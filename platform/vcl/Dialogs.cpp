#include "platform/vcl/Dialogs.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/vcl/Application.h"
#include "platform/vcl/Texts.h"

namespace vcl {

void ShowMessage(const std::string& text) {
    // No parent: the box is centred on the screen, not on a window.
    QDialog box;
    box.setWindowTitle(QString::fromStdString(ApplicationTitle()));
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen->geometry();
    const QString shown = QString::fromStdString(NormaliseLineBreaks(ExpandTabs(text)));

    auto* label = new QLabel(shown, &box);
    label->setObjectName(QStringLiteral("message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    const int widest = screenRect.width() / 2;
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, widest, 1 << 20),
                                                           Qt::AlignLeft | Qt::TextWordWrap, shown);
    label->setFixedWidth(std::min(widest, needed.width() + 1));

    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Created and polished, the box knows its margins and its frame, which is
    // part of what is centred.
    box.winId();
    box.ensurePolished();
    layout->activate();
    box.adjustSize();
    const QSize outer = box.size().grownBy(box.windowHandle()->frameMargins());
    box.move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, outer, screenRect).topLeft());
    // Esc and the close box reject, OK and Enter accept: either way the box is done.
    box.exec();
}

}  // namespace vcl
