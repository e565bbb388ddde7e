// The headers that most of our sources include, precompiled once per kind of
// target (the targets that link Qt Widgets, the tests, the widget tests) and
// reused by every target of that kind when NOSK_PCH is on
// (cmake/NoskTargets.cmake). Only headers of the standard library and Qt: a
// header of ours here would recompile every source whenever it changed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#if defined(QT_WIDGETS_LIB)
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#endif
#if defined(QT_TESTLIB_LIB)
#include <QTest>
#endif
