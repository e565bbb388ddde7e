#pragma once

#include "core/Prompt.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <QWidget>

namespace nosk {

// The programs' prompt: Qt message boxes, file dialogs and the colour
// chooser, owned by the given window (or the active window when none).
// Qt never changes the process's current folder, so the work folder stays
// where it is whatever the user browses to.
class QtPrompt : public Prompt {
public:
    explicit QtPrompt(QWidget* owner = nullptr);

    void setOwner(QWidget* owner) { m_owner = owner; }

    // Folders every file dialog of the program offers in its side bar
    // besides the usual places (the organiser: its bundled example jobs).
    static void setPlaces(const QStringList& folders);
    static const QStringList& places();
    QWidget* owner() const;

    std::optional<std::string> openFile(const FileRequest& request) override;
    std::optional<std::string> saveFile(const FileRequest& request) override;
    std::optional<std::string> chooseFolder(const FileRequest& request) override;
    std::optional<std::uint32_t> chooseColor(std::uint32_t initial) override;

    // The Qt name filter of one of our filters: the description as the user
    // sees it, the patterns in the trailing parentheses that Qt matches. The
    // pattern "*.*" means every file, also those without a dot.
    static QString nameFilter(const FileFilter& filter);
    static QStringList nameFilters(const std::vector<FileFilter>& filters);

protected:
    Answer showMessage(const std::string& text, const std::string& caption,
                       Buttons buttons, Icon icon) override;

private:
    std::optional<std::string> fileDialog(const FileRequest& request, bool save);

    QPointer<QWidget> m_owner;
};

} // namespace nosk
