#include "ProgramIdentity.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

namespace nosk {

QIcon programIcon(const QString& name)
{
    QIcon builtIn;
    for (int size : {48, 128, 256})
        builtIn.addFile(QStringLiteral(":/nosk/icons/%1/%2.png").arg(size).arg(name));
    return QIcon::fromTheme(name, builtIn);
}

void setProgramIcon(const QString& name)
{
    QApplication::setWindowIcon(programIcon(name));
}

QString licenceText()
{
    QString text;
    for (const char* name : {":/nosk/LICENSE", ":/nosk/THIRD-PARTY.md"}) {
        QFile file(QString::fromLatin1(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll()) + QLatin1Char('\n');
    }
    return text;
}

QWidget* licenceView(QWidget* parent)
{
    auto* view = new QPlainTextEdit(licenceText(), parent);
    view->setObjectName(QStringLiteral("licence"));
    view->setReadOnly(true);
    view->setMinimumSize(560, 220);
    return view;
}

} // namespace nosk
