#include "Help.h"

#include "HelpWindow.h"
#include "Platform.h"
#include "core/DataFiles.h"
#include "core/Prompt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace nosk {

HtmlHelp::HtmlHelp(const QString& folder)
    : m_folder(folder.isEmpty() ? findHelpFolder() : folder)
{
}

HtmlHelp::~HtmlHelp()
{
    // At program end the application may have taken its windows with it.
    if (QCoreApplication::instance()) {
        delete m_main;
        delete m_circ;
    }
}

QString HtmlHelp::findHelpFolder()
{
    const QString folder = QString::fromStdString(datafiles::find("help"));
    if (!folder.isEmpty() && QFileInfo::exists(folder + QStringLiteral("/topics.txt")))
        return folder;
    return {};
}

int HtmlHelp::loadTopics()
{
    if (m_folder.isEmpty())
        return ENOENT;
    QString path = m_folder + QStringLiteral("/topics.txt");
    QByteArray name = QFile::encodeName(path);
    std::FILE* f = std::fopen(name.constData(), "rb");
    if (!f)
        return errno ? errno : ENOENT;
    std::string bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    std::fclose(f);

    m_topics.clear();
    const QStringList lines = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                                  .split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        int tab = line.indexOf(QLatin1Char('\t'));
        if (tab < 0)
            continue;
        bool ok = false;
        int id = line.left(tab).trimmed().toInt(&ok);
        if (ok)
            m_topics.emplace_back(id, line.mid(tab + 1).trimmed());
    }
    if (m_topics.empty())
        return EINVAL;
    return 0;
}

HelpWindow* HtmlHelp::window(Window which) const
{
    return which == Window::Circ ? m_circ.data() : m_main.data();
}

HelpWindow* HtmlHelp::ensureWindow(Window which)
{
    QPointer<HelpWindow>& w = which == Window::Circ ? m_circ : m_main;
    if (!w) {
        w = new HelpWindow(m_folder, m_topics);
        w->setWindowTitle(which == Window::Circ ? QStringLiteral("Model circuits") : QStringLiteral("NOSK Help"));
    } else {
        w->setTopics(m_folder, m_topics);
    }
    return w;
}

int HtmlHelp::showTopic(int contextId, Window window)
{
    if (int e = loadTopics())
        return e;
    HelpWindow* w = ensureWindow(window);
    w->showTopic(contextId);
    w->followModalWindow();
    w->show();
    w->raise();
    w->activateWindow();
    return 0;
}

int HtmlHelp::showContents()
{
    if (int e = loadTopics())
        return e;
    HelpWindow* w = ensureWindow(Window::Main);
    w->showContentsTab();
    w->followModalWindow();
    w->show();
    w->raise();
    w->activateWindow();
    return 0;
}

int HtmlHelp::showIndex()
{
    if (int e = loadTopics())
        return e;
    HelpWindow* w = ensureWindow(Window::Main);
    w->showIndexTab();
    w->followModalWindow();
    w->show();
    w->raise();
    w->activateWindow();
    return 0;
}

void reportHelpResult(int result, Prompt& prompt, const std::string& caption)
{
    if (result == 0)
        return;
    char text[64];
    std::snprintf(text, sizeof text, "Cannot run help! Error %i", result);
    prompt.message(text, caption, Buttons::Ok);
}

void openHelpTopic(int contextId, Help::Window window)
{
    Platform& p = Platform::instance();
    reportHelpResult(p.help().showTopic(contextId, window), p.prompt(), p.programName());
}

void openHelpContents()
{
    Platform& p = Platform::instance();
    reportHelpResult(p.help().showContents(), p.prompt(), p.programName());
}

void openHelpIndex()
{
    Platform& p = Platform::instance();
    reportHelpResult(p.help().showIndex(), p.prompt(), p.programName());
}

} // namespace nosk
