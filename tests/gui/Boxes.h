#pragma once

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <vector>

// What a test saw of a modal box that it closed.
struct SeenBox {
    QString caption;
    QString text;
    bool isMessageBox = false;  // the system's box (failure, start-up) rather than ours
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    bool stuck = false;  // the chosen way of closing did not close it
};

// Closes every modal box that comes up, in the given way, and records it.
class BoxCloser {
  public:
    enum class How { ClickOk, Enter, Escape, CloseBox };

    explicit BoxCloser(How how = How::ClickOk, std::function<void(QWidget&)> observe = {})
        : how_(how), observe_(std::move(observe)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }

    std::vector<SeenBox> seen;

  private:
    void Poll() {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr || !box->isVisible()) return;
        if (box->property("seenByTest").toBool()) {
            // Still open a tick later: record that, and get rid of it.
            seen.back().stuck = true;
            box->close();
            return;
        }
        box->setProperty("seenByTest", true);
        seen.push_back(Record(*box));
        if (observe_) observe_(*box);
        QWidget* target = box->focusWidget() != nullptr ? box->focusWidget() : box;
        switch (how_) {
            case How::ClickOk:
                for (QPushButton* button : box->findChildren<QPushButton*>()) {
                    if (button->text().remove('&') == "OK") button->click();
                }
                break;
            case How::Enter:
                QTest::keyClick(target, Qt::Key_Return);
                break;
            case How::Escape:
                QTest::keyClick(target, Qt::Key_Escape);
                break;
            case How::CloseBox:
                box->close();
                break;
        }
    }

    static SeenBox Record(QWidget& box) {
        SeenBox result;
        result.caption = box.windowTitle();
        if (auto* system = qobject_cast<QMessageBox*>(&box)) {
            result.isMessageBox = true;
            result.text = system->text();
            result.icon = system->icon();
        } else if (auto* label = box.findChild<QLabel*>("message")) {
            result.text = label->text();
        }
        for (QPushButton* button : box.findChildren<QPushButton*>()) {
            result.buttons << button->text().remove('&');
            if (button->isDefault()) result.defaultButton = button->text().remove('&');
        }
        return result;
    }

    How how_;
    std::function<void(QWidget&)> observe_;
    QTimer timer_;
};
