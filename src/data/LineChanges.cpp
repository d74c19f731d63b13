#include "data/LineChanges.h"

LineChanges::LineChanges(const TextLines& before, const TextLines& after) {
    QHash<QByteArray, int> kept;
    for (const QByteArray& line : before)
        ++kept[line];
    for (const QByteArray& line : after) {
        auto it = kept.find(line);
        if (it != kept.end() && *it > 0)
            --*it;
        else
            m_added.append(line);
    }
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        if (*it > 0)
            m_dropped.insert(it.key(), *it);
}

bool LineChanges::fitOnto(const TextBuffer& lines) const {
    QHash<QByteArray, int> missing = m_dropped;
    qsizetype left = 0;
    for (const int n : missing)
        left += n;
    for (qsizetype i = 0; i < lines.size() && left > 0; ++i) {
        auto it = missing.find(lines.line(i).toByteArray());
        if (it != missing.end() && *it > 0) {
            --*it;
            --left;
        }
    }
    return left == 0;
}

void LineChanges::applyTo(const TextBuffer& lines, const AddLine& add) const {
    QHash<QByteArray, int> dropping = m_dropped;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines.line(i);
        if (!dropping.isEmpty()) {
            auto it = dropping.find(line.toByteArray());
            if (it != dropping.end() && *it > 0) {
                --*it;
                continue;
            }
        }
        add(line);
    }
    for (const QByteArray& line : m_added)
        add(line);
}

TextLines LineChanges::appliedTo(const TextBuffer& lines) const {
    TextLines out;
    applyTo(lines, [&out](QByteArrayView line) { out.append(line.toByteArray()); });
    return out;
}

ChangedFileSave SaveOverChangedFile(const QString& path, const LineChanges& changes,
                                    const std::function<void(const AddLine&)>& whole) {
    ChangedFileSave save;
    // A program that keeps writing the file gives way after a few tries.
    for (int attempt = 0; attempt < 5; ++attempt) {
        save.file.load(path);
        try {
            if (!save.file.stamp().exists) {
                // Removed while the list was open: what the list shows is all there is left.
                save.outcome = ChangedFileSave::Recreated;
                save.backupFailure = SaveTextLinesFrom(path, whole, &save.file.stamp());
                return save;
            }
            if (!changes.fitOnto(save.file)) {
                save.outcome = ChangedFileSave::Conflict;
                save.merged = changes.appliedTo(save.file);
                return save;
            }
            save.outcome = ChangedFileSave::Merged;
            if (!changes.isEmpty())
                save.backupFailure = SaveTextLinesFrom(
                    path, [&](const AddLine& add) { changes.applyTo(save.file, add); },
                    &save.file.stamp());
            return save;
        } catch (const FileChangedError&) {
        }
    }
    throw KalendoError(
        QStringLiteral("他のプログラムが書き込みを続けているため、保存できませんでした。"
                       "少し待ってから OK を押してください") +
        QLatin1Char('\n') + path);
}

QString ChangedFileMessage(const ChangedFileSave& save, const QString& path) {
    switch (save.outcome) {
    case ChangedFileSave::Saved:
    case ChangedFileSave::Merged:
        break;
    case ChangedFileSave::Recreated:
        return QStringLiteral(
                   "開いている間にファイルが削除されていたため、この一覧の内容で作り直しました") +
               QLatin1Char('\n') + path;
    case ChangedFileSave::Conflict:
        return QStringLiteral("開いている間に他のプログラムが同じ行を変更しました。保存せずに、"
                              "両方の内容を一覧に表示しました。確かめてから OK を押してください") +
               QLatin1Char('\n') + path;
    }
    return {};
}
