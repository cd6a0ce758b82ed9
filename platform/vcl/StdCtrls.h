#pragma once

#include <QComboBox>
#include <QString>

// A combo box whose Add keeps the entries in alphabetical order while sorted
// is set, and which never chooses an entry by itself.
class TComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(bool sorted READ isSorted WRITE setSorted)

  public:
    explicit TComboBox(QWidget* parent = nullptr);

    bool isSorted() const noexcept { return sorted_; }
    void setSorted(bool sorted);

    // Returns the index at which the text was placed.
    int Add(const QString& text);

  private:
    int SortedPosition(const QString& text) const;

    bool sorted_ = false;
};
