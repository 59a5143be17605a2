#pragma once

#include <QColor>
#include <QObject>

#include <functional>
#include <optional>

class AIDialogInputViewModel;

/**
 * Whether the complete answer is shown as the changes it makes to the captured text,
 * and that rendering. Only the view changes: pasting always uses the answer itself.
 */
class AnswerReview final : public QObject {
    Q_OBJECT
    /** There is an answer to compare: complete, with captured text. */
    Q_PROPERTY(bool available READ isAvailable NOTIFY changed)
    Q_PROPERTY(bool active READ isActive NOTIFY changed)
    Q_PROPERTY(QString richText READ richText NOTIFY changed)
    Q_PROPERTY(QColor deletedColor READ deletedColor WRITE setDeletedColor NOTIFY changed)
    Q_PROPERTY(QColor insertedColor READ insertedColor WRITE setInsertedColor NOTIFY changed)

public:
    /** The view a prompt (none for a typed command) starts in, and where a toggle is kept. */
    struct Preference {
        std::function<bool(std::optional<qint64> presetId)> showsChanges;
        std::function<void(std::optional<qint64> presetId, bool showsChanges)> remember;
    };

    explicit AnswerReview(AIDialogInputViewModel& input, QObject* parent = nullptr);
    void setPreference(Preference preference) { m_preference = std::move(preference); }

    [[nodiscard]] bool isAvailable() const;
    [[nodiscard]] bool isActive() const { return m_wanted && isAvailable(); }
    [[nodiscard]] QString richText() const;
    [[nodiscard]] QColor deletedColor() const { return m_deletedColor; }
    [[nodiscard]] QColor insertedColor() const { return m_insertedColor; }
    void setDeletedColor(const QColor& color);
    void setInsertedColor(const QColor& color);

    /** Switches between the answer and its changes, and remembers it for the prompt. */
    Q_INVOKABLE bool toggle();

Q_SIGNALS:
    void changed();

private:
    void refresh();

    AIDialogInputViewModel& m_input;
    Preference m_preference;
    bool m_wanted = false;
    bool m_available = false;
    QColor m_deletedColor{Qt::red};
    QColor m_insertedColor{Qt::darkGreen};
    mutable std::optional<QString> m_rendered;
};
