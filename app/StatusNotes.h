#pragma once

#include <QObject>
#include <QString>
#include <array>

class QStatusBar;

namespace kestra {

// The lasting notes of the status bar's message area: whether the results are
// protected, which row the next Analyze replaces, what the scan declares about
// itself and what the surface counts. They stay until they are changed, and
// come back once a passing message has gone.
class StatusNotes : public QObject {
    Q_OBJECT
public:
    enum class Note { Journal, Replacing, Resolution, Orientation, Count };

    explicit StatusNotes(QStatusBar* bar);

    // Sets one note; an empty text takes it away.
    void set(Note note, const QString& text);

    // A message shown for a moment (4 s), after which the notes show again.
    void showPassing(const QString& message);

private:
    // All notes as the message area shows them.
    [[nodiscard]] QString text() const;
    void showNotes();

    QStatusBar* bar_;
    std::array<QString, 5> notes_;
};

} // namespace kestra
