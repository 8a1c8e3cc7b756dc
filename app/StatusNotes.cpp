#include "app/StatusNotes.h"

#include <QStatusBar>
#include <QStringList>

namespace kestra {

StatusNotes::StatusNotes(QStatusBar* bar) : QObject(bar), bar_(bar)
{
    connect(bar_, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty())
            showNotes();
    });
}

void StatusNotes::set(Note note, const QString& text)
{
    QString& slot = notes_[static_cast<std::size_t>(note)];
    if (slot == text)
        return;
    slot = text;
    showNotes();
}

void StatusNotes::showPassing(const QString& message)
{
    constexpr int PassingMilliseconds = 4000;
    bar_->showMessage(message, PassingMilliseconds);
}

QString StatusNotes::text() const
{
    QStringList parts;
    for (const QString& note : notes_) {
        if (!note.isEmpty())
            parts.append(note);
    }
    return parts.join(QStringLiteral("   "));
}

void StatusNotes::showNotes()
{
    const QString notes = text();
    if (notes.isEmpty())
        bar_->clearMessage();
    else
        bar_->showMessage(notes);
}

} // namespace kestra
