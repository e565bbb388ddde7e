#include "platform/Platform.h"
#include "platform/QtPrompt.h"
#include "support/ScriptedDialogRunner.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QUrl>

#include <filesystem>
#include <gtest/gtest.h>

using namespace nosk;

TEST(QtPrompt, NameFiltersMatchEveryFileForStarDotStar)
{
    EXPECT_EQ(QtPrompt::nameFilter({"All files (*.*)", "*.*"}).toStdString(), "All files (*.*) (*)");
    EXPECT_EQ(QtPrompt::nameFilter({"Bitmap file (*.bmp)", "*.bmp"}).toStdString(),
              "Bitmap file (*.bmp) (*.bmp)");
    EXPECT_EQ(QtPrompt::nameFilter({"Data", "*.txt;*.dat"}).toStdString(), "Data (*.txt *.dat)");
}

TEST(QtPrompt, MessageBoxCaptionButtonsAndAnswer)
{
    test::ScriptedDialogRunner dialogs;
    Platform::instance().setProgramName("NOSKRUN");
    QtPrompt prompt;
    QString title, text;
    int buttons = 0;
    dialogs.next<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::No)->click();
    });
    Answer a = prompt.message("Overwrite?", "WARNING", Buttons::YesNoCancel, Icon::Question);
    EXPECT_EQ(a, Answer::No);
    EXPECT_EQ(title.toStdString(), "WARNING");
    EXPECT_EQ(text.toStdString(), "Overwrite?");
    EXPECT_EQ(buttons, 3);

    // Without a caption the box carries the program's name.
    dialogs.next<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt.message("Wrong value!", ""), Answer::Ok);
    EXPECT_EQ(title.toStdString(), "NOSKRUN");
}

TEST(QtPrompt, SaveDialogShowsRequestAndKeepsCurrentFolder)
{
    test::ScriptedDialogRunner dialogs;
    test::TempWorkDir work;
    std::filesystem::create_directory("sub");
    QtPrompt prompt;
    QString title;
    QStringList filters;
    QString suffix;
    dialogs.next<QFileDialog>([&](QFileDialog* d) {
        title = d->windowTitle();
        filters = d->nameFilters();
        suffix = d->defaultSuffix();
        d->setDirectory(QDir::current().absoluteFilePath(QStringLiteral("sub")));
        d->selectFile(QStringLiteral("picture"));
        static_cast<QDialog*>(d)->accept();
    });
    FileRequest r;
    r.title = "Store OUTIN file";
    r.filters = {{"Bitmap file (*.bmp)", "*.bmp"}, {"All files (*.*)", "*.*"}};
    r.initialName = "OUTIN.OLD";
    r.defaultExtension = "bmp";
    auto chosen = prompt.saveFile(r);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::path(*chosen).filename().string(), "picture.bmp");
    EXPECT_EQ(title.toStdString(), "Store OUTIN file");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[1].toStdString(), "All files (*.*) (*)");
    EXPECT_EQ(suffix.toStdString(), "bmp");
    EXPECT_EQ(std::filesystem::current_path(), work.path());

    dialogs.next<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(prompt.openFile(r).has_value());
}

TEST(QtPrompt, FileDialogOffersTheProgramsPlacesAndRoomForItsColumns)
{
    test::ScriptedDialogRunner dialogs;
    test::TempWorkDir work;
    std::filesystem::create_directory("examples");
    const QString examples = QString::fromStdString(work.file("examples"));
    QtPrompt::setPlaces({examples, QString::fromStdString(work.file("not-there"))});
    QtPrompt prompt;
    QList<QUrl> sidebar;
    QSize size;
    dialogs.next<QFileDialog>([&](QFileDialog* d) {
        sidebar = d->sidebarUrls();
        size = d->size();
        d->reject();
    });
    prompt.openFile(FileRequest{});
    QtPrompt::setPlaces({});
    EXPECT_TRUE(sidebar.contains(QUrl::fromLocalFile(examples)));
    EXPECT_FALSE(sidebar.contains(QUrl::fromLocalFile(QString::fromStdString(work.file("not-there")))));
    EXPECT_GE(size.width(), 820);
    EXPECT_GE(size.height(), 500);
    // Qt keeps the side bar in the user's settings; the places are not left there.
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    const QString kept = settings.value(QStringLiteral("FileDialog/shortcuts")).toStringList().join(QLatin1Char(' '));
    EXPECT_FALSE(kept.contains(QStringLiteral("examples"))) << kept.toStdString();
}
