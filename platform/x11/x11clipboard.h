#pragma once

#include "platform/qtclipboard.h"
#include "platform/x11/x11selectionreader.h"

#include <memory>

class X11Display;

/**
 * The clipboard and primary selection on X11: Qt writes and serves them; reads go
 * through a reader of their own, since Qt's wait for the owner would stall the main
 * thread; the owner's process comes from the X-Resource extension.
 */
class X11Clipboard final : public QtClipboard {
    Q_OBJECT
public:
    explicit X11Clipboard(std::shared_ptr<X11Display> display, QObject* parent = nullptr);
    ~X11Clipboard() override;

    void readText(Selection selection,
                  std::function<void(std::optional<QString>)> done) const override;
    void save(Selection selection, std::function<void(ClipboardContent)> done) const override;
    [[nodiscard]] std::optional<qint64> ownerProcess(Selection selection) const override;

private:
    std::shared_ptr<X11Display> m_display;
    // Declared last: stops its thread before the rest goes.
    mutable X11SelectionReader m_reader;
};
