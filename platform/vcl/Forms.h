#pragma once

#include <QFont>
#include <QWidget>
#include <functional>

class QShowEvent;

// A top-level window whose show event runs once, before the window first
// comes on screen, and which is then centred on the screen.
class TForm : public QWidget {
    Q_OBJECT

  public:
    explicit TForm(QWidget* parent = nullptr);

    std::function<void()> OnShow;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CentreOnScreen();

    bool shown_ = false;
};

namespace vcl {

// The program's typeface at a size in pixels; a sans-serif face stands in
// when it is not there.
QFont Tahoma(int pixelSize, bool bold = false);

}  // namespace vcl
