#include "Shell.h"

#include "Platform.h"
#include "Process.h"

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

bool copyFileReplacing(const std::string& from, const std::string& to)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(from, ec))
        return false;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}

bool RecordingShell::copyFile(const std::string& from, const std::string& to)
{
    return copyFileReplacing(from, to);
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
    if (dialog.exec() != QDialog::Accepted)
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
    return copyFileReplacing(from, to);
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
