#include "Shell.h"

#include "DialogRunner.h"
#include "Platform.h"
#include "Process.h"
#include "core/AtomicFileWriter.h"
#include "core/RegularFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTextDocument>

#include <filesystem>

namespace nosk {

bool copyFileReplacing(const std::string& from, const std::string& to, bool replaceLink)
{
    // The engine's files are megabytes at most; a device or FIFO is refused.
    constexpr std::size_t kMaxCopy = 1u << 30;
    auto bytes = readRegularFile(from, kMaxCopy);
    if (!bytes)
        return false;
    try {
        replaceFile(to, *bytes, replaceLink ? AtomicFileWriter::Links::Replace : AtomicFileWriter::Links::Follow);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool RecordingShell::copyFile(const std::string& from, const std::string& to)
{
    return copyFileReplacing(from, to, true);
}

bool DesktopShell::open(const std::string& path)
{
    QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    ProcessSpec spec;
    spec.program = opener.toStdString();
    spec.arguments = {path};
    int error = 0;
    return Platform::instance().processes().startDetached(spec, error);
}

bool DesktopShell::print(const std::string& path)
{
    if (!QFileInfo(QString::fromStdString(path)).isFile())
        return false;
    QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
    if (!lp.isEmpty()) {
        ProcessSpec spec;
        spec.program = lp.toStdString();
        spec.arguments = {path};
        int error = 0;
        return Platform::instance().processes().startDetached(spec, error);
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Print"));
    if (runModal(dialog) != QDialog::Accepted)
        return false;
    return printTextFile(path, printer);
}

std::string DesktopShell::tempFolder()
{
    QString t = QDir::tempPath();
    if (!t.endsWith(QLatin1Char('/')))
        t += QLatin1Char('/');
    return t.toStdString();
}

bool DesktopShell::copyFile(const std::string& from, const std::string& to)
{
    return copyFileReplacing(from, to, true);
}

bool printTextFile(const std::string& path, QPrinter& printer)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The engine's files are plain ASCII; keep their columns.
    QString text = QString::fromLatin1(file.readAll());
    QTextDocument doc;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(9.0);
    doc.setDefaultFont(font);
    doc.setPlainText(text);
    doc.setDocumentMargin(0);
    doc.print(&printer);
    return true;
}

} // namespace nosk
