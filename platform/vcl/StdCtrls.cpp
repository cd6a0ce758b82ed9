#include "platform/vcl/StdCtrls.h"

#include <QCollator>
#include <QLocale>
#include <QStringList>
#include <algorithm>

namespace {

// Every text of the program is Polish: its letters sort beside their base
// letters whatever the session's locale.
QCollator ListCollator() {
    QCollator collator(QLocale(QLocale::Polish, QLocale::Poland));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {}

void TComboBox::setSorted(bool sorted) {
    sorted_ = sorted;
    if (!sorted_ || count() < 2) return;
    QStringList items;
    for (int i = 0; i < count(); ++i) items << itemText(i);
    const QString chosen = currentIndex() < 0 ? QString() : currentText();
    const bool hadChoice = currentIndex() >= 0;
    std::stable_sort(items.begin(), items.end(),
                     [collator = ListCollator()](const QString& a, const QString& b) {
                         return collator.compare(a, b) < 0;
                     });
    clear();
    addItems(items);
    setCurrentIndex(hadChoice ? findText(chosen) : -1);
}

int TComboBox::Add(const QString& text) {
    const bool hadChoice = currentIndex() >= 0;
    const int index = sorted_ ? SortedPosition(text) : count();
    insertItem(index, text);
    // QComboBox chooses the first entry added to an empty list; a drop-down
    // list keeps "none chosen" until the user chooses.
    if (!hadChoice) setCurrentIndex(-1);
    return index;
}

int TComboBox::SortedPosition(const QString& text) const {
    const QCollator collator = ListCollator();
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (collator.compare(itemText(middle), text) <= 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}
