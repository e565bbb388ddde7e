#include "QtPrompt.h"

#include "DialogRunner.h"
#include "Platform.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

namespace nosk {
namespace {

QStringList& placeList()
{
    static QStringList folders;
    return folders;
}

} // namespace

void QtPrompt::setPlaces(const QStringList& folders)
{
    placeList() = folders;
}

const QStringList& QtPrompt::places()
{
    return placeList();
}

QtPrompt::QtPrompt(QWidget* owner)
    : m_owner(owner)
{
}

QWidget* QtPrompt::owner() const
{
    if (m_owner)
        return m_owner;
    return QApplication::activeWindow();
}

Answer QtPrompt::showMessage(const std::string& text, const std::string& caption,
                             Buttons buttons, Icon icon)
{
    QMessageBox box(owner());
    // An empty caption gets the program's name, as a box without a caption
    // of its own always has.
    QString title = caption.empty() ? QString::fromStdString(Platform::instance().programName())
                                    : QString::fromStdString(caption);
    box.setWindowTitle(title);
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    int result = runModal(box);
    switch (result) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Save: return Answer::Yes;
    case QMessageBox::Discard: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Ok: return Answer::Ok;
    default:
        // Closed by the window manager: the box's way out.
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        if (buttons == Buttons::YesNo)
            return Answer::No;
        return Answer::Cancel;
    }
}

QString QtPrompt::nameFilter(const FileFilter& filter)
{
    QStringList patterns;
    for (const QString& p : QString::fromStdString(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QString t = p.trimmed();
        if (t == QLatin1String("*.*"))
            t = QStringLiteral("*");
        patterns << t;
    }
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    return QString::fromStdString(filter.description) + QStringLiteral(" (")
        + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList QtPrompt::nameFilters(const std::vector<FileFilter>& filters)
{
    QStringList list;
    for (const FileFilter& f : filters)
        list << nameFilter(f);
    return list;
}

std::optional<std::string> QtPrompt::fileDialog(const FileRequest& request, bool save)
{
    QFileDialog dialog(owner());
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The description already names its patterns ("All files (*.*)").
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!request.title.empty())
        dialog.setWindowTitle(QString::fromStdString(request.title));
    else
        dialog.setWindowTitle(save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.filters.empty())
        dialog.setNameFilters(nameFilters(request.filters));
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.initialName.empty()) {
        QString initial = QString::fromStdString(request.initialName);
        QFileInfo info(initial);
        if (info.isDir())
            dialog.setDirectory(info.absoluteFilePath());
        else
            dialog.selectFile(initial);
    }
    const QList<QUrl> usual = dialog.sidebarUrls();
    QList<QUrl> sidebar = usual;
    for (const QString& folder : places()) {
        QUrl url = QUrl::fromLocalFile(folder);
        if (QFileInfo(folder).isDir() && !sidebar.contains(url))
            sidebar << url;
    }
    dialog.setSidebarUrls(sidebar);
    // Wide enough for the size and date columns to be read whole.
    QSize size = dialog.sizeHint().expandedTo(QSize(820, 500));
    dialog.resize(size);
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    const int result = runModal(dialog);
    // Qt keeps the side bar in the user's settings: our places are not kept
    // there.
    dialog.setSidebarUrls(usual);
    if (result != QDialog::Accepted)
        return std::nullopt;
    QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.front().toStdString();
}

std::optional<std::string> QtPrompt::openFile(const FileRequest& request)
{
    return fileDialog(request, false);
}

std::optional<std::string> QtPrompt::saveFile(const FileRequest& request)
{
    return fileDialog(request, true);
}

std::optional<std::string> QtPrompt::chooseFolder(const FileRequest& request)
{
    QFileDialog dialog(owner());
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(request.title.empty() ? QStringLiteral("Select folder")
                                                : QString::fromStdString(request.title));
    if (!request.initialName.empty())
        dialog.setDirectory(QString::fromStdString(request.initialName));
    dialog.resize(dialog.sizeHint().expandedTo(QSize(820, 500)));
    if (runModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList folders = dialog.selectedFiles();
    if (folders.isEmpty())
        return std::nullopt;
    return folders.front().toStdString();
}

std::optional<std::uint32_t> QtPrompt::chooseColor(std::uint32_t initial)
{
    QColor start(static_cast<int>((initial >> 16) & 0xFF), static_cast<int>((initial >> 8) & 0xFF),
                 static_cast<int>(initial & 0xFF));
    QColorDialog dialog(start, owner());
    if (runModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QColor c = dialog.selectedColor();
    if (!c.isValid())
        return std::nullopt;
    return (static_cast<std::uint32_t>(c.red()) << 16) | (static_cast<std::uint32_t>(c.green()) << 8)
        | static_cast<std::uint32_t>(c.blue());
}

} // namespace nosk
