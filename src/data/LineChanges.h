#pragma once

#include "data/TextFile.h"

#include <QHash>

// What a list's save changes in the lines it read: the lines it drops and those it adds (an
// edited line is both), each as often as it occurs. Kept apart from the file so that the same
// changes can be made to the file as another program left it, when one wrote it while the
// list was open: its lines stay, the list's changes are made over them.
class LineChanges {
public:
    LineChanges(const TextLines& before, const TextLines& after);

    bool isEmpty() const { return m_dropped.isEmpty() && m_added.isEmpty(); }
    // Whether every line dropped is still in these lines: nobody else changed or removed what
    // the list changed, so the changes can be made without asking.
    bool fitOnto(const TextBuffer& lines) const;
    // The lines with the changes made: each line in order but the dropped ones (each as often
    // as it was dropped), then the added lines, in the list's order.
    void applyTo(const TextBuffer& lines, const AddLine& add) const;
    TextLines appliedTo(const TextBuffer& lines) const;

private:
    QHash<QByteArray, int> m_dropped;
    TextLines m_added;
};

// How a save of a list went once its file had changed since it was read.
struct ChangedFileSave {
    enum Outcome {
        Saved,     // the file was still as read
        Merged,    // the list's changes were made over the other program's version and saved
        Recreated, // the file had been removed: the list's whole version was saved
        Conflict,  // both changed the same lines: nothing saved, file and merged hold both sides
    } outcome = Merged;
    QString backupFailure; // as SaveTextLines returns it
    TextBuffer file;       // the file as it now is (its stamp for the next save)
    TextLines merged;      // for Conflict: the file's lines with the list's changes made
};

// The save of a list whose file was found changed (FileChangedError): the changes are made
// over the file as it now is and saved, while no other program writes it in between (a few
// tries); the list's whole version (whole) is saved when the file is gone. A save that still
// cannot go through throws KalendoError.
ChangedFileSave SaveOverChangedFile(const QString& path, const LineChanges& changes,
                                    const std::function<void(const AddLine&)>& whole);

// What the list tells the user after such a save, with the file's path; empty when nothing
// needs saying (saved, or merged without a question).
QString ChangedFileMessage(const ChangedFileSave& save, const QString& path);
