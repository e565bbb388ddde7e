// The FUN list shows the definition of the chosen circuit, and the parameter
// editor's DE links follow the definition in force: the built-in ones sit
// where the placement table puts them, a work folder's CIRCUITS moves them.
#include "CFitOptionsPage.h"
#include "CParamEditor.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"

#include "job/JobFields.h"
#include "model/Circuit.h"
#include "model/ParameterNames.h"

#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <set>

using namespace nosk;
using nosk::test::OrganiserFixture;

TEST(CircuitDefinition, BuiltInDefinitionsPutTheDeLinksWhereTheTableDoes)
{
    for (char fun : std::string("ABCDEFGHIJKORST")) {
        const auto* d = model::CircuitLibrary::builtIn().find(fun);
        ASSERT_NE(d, nullptr) << fun;
        std::set<int> selectors;
        for (const model::DePlace& place : model::dePlaces(d->circuit))
            selectors.insert(place.selector);
        for (int k = 1; k <= 50; ++k) {
            EXPECT_EQ(!CParamEditor::placement(fun, k).empty(), selectors.count(k) == 1) << fun << " p" << k;
            EXPECT_EQ(CParamEditor::placement(fun, k, d->text), CParamEditor::placement(fun, k)) << fun << k;
        }
    }
}

TEST(CircuitDefinition, WorkFolderCircuitsMoveTheLinksAndTheLine)
{
    OrganiserFixture f;
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    CParamEditor* editor = page->paramEditor();
    f.dlg->job().FUN = 'B';
    f.dlg->job().N = 25;
    f.dlg->loadFromJob();
    EXPECT_TRUE(page->definitionLabel()->text().startsWith(QStringLiteral("B = R(p1)-L(p3)-par(")));
    EXPECT_EQ(page->list("FUN")->toolTip(),
        QStringLiteral("B = R(p1)-L(p3)-par(C(p2), R(p4)-DE(p10)-DE(p15))-DE(p20)-DE(p25)"));
    EXPECT_FALSE(editor->deLink(10)->isHidden());

    // The user's own B: one DE, selected by p7.
    test::writeAll("CIRCUITS", "B = R(p1)-par(C(p2), DE(p7))\n");
    f.dlg->loadFromJob();
    EXPECT_EQ(page->definitionLabel()->toolTip(), QStringLiteral("B = R(p1)-par(C(p2), DE(p7))"));
    EXPECT_FALSE(editor->deLink(7)->isHidden());
    EXPECT_EQ(editor->deLink(7)->text(), QStringLiteral("DE1"));
    EXPECT_TRUE(editor->deLink(10)->isHidden());
    EXPECT_FALSE(editor->codeList(10)->isHidden());

    // Picking another letter moves the links at once; C is still built in.
    page->list("FUN")->setCurrentIndex(int(kCircuits.codes.find('C')));
    emit page->list("FUN")->activated(page->list("FUN")->currentIndex());
    EXPECT_TRUE(editor->deLink(7)->isHidden());
    EXPECT_FALSE(editor->deLink(15)->isHidden());
    EXPECT_TRUE(page->definitionLabel()->toolTip().startsWith(QStringLiteral("C = ")));

    // A CIRCUITS that does not parse: the built-in circuit, and why.
    test::writeAll("CIRCUITS", "B = R(p1)-\n");
    f.dlg->job().FUN = 'B';
    f.dlg->loadFromJob();
    EXPECT_FALSE(editor->deLink(10)->isHidden());
    EXPECT_TRUE(page->definitionLabel()->toolTip().contains(
        QStringLiteral("CIRCUITS not used: CIRCUITS, line 1, column 11: expected an element")));
}

// Each parameter row names its role in the circuit in force as the
// parameter export does (model::parameterNames), a parameter the circuit
// leaves alone is grey, and the FUN list names the circuits, the work
// folder's own included.
TEST(CircuitDefinition, ParameterRowsNameTheirRolesAndGreyTheUnused)
{
    OrganiserFixture f;
    CFitOptionsPage* page = f.dlg->fitOptionsPage();
    CParamEditor* editor = page->paramEditor();
    QComboBox* fun = page->list("FUN");
    for (char letter : std::string(kCircuits.codes)) {
        f.dlg->job().FUN = letter;
        f.dlg->job().N = 50;
        f.dlg->loadFromJob();
        const std::vector<std::string> names = model::parameterNames(letter);
        ASSERT_FALSE(names.empty()) << letter;
        for (int k = 1; k <= 50; ++k) {
            const std::string name = std::size_t(k) <= names.size() ? names[std::size_t(k - 1)] : std::string();
            EXPECT_EQ(editor->used(k), !name.empty()) << letter << " p" << k;
            EXPECT_EQ(editor->label(k)->toolTip().toStdString().substr(0, name.size()), name) << letter << k;
            EXPECT_EQ(editor->label(k)->styleSheet().contains(QStringLiteral("#909090")), name.empty()) << letter << k;
        }
        const int index = int(kCircuits.codes.find(letter));
        EXPECT_EQ(fun->itemText(index), QString(QLatin1Char(letter)));
        EXPECT_GT(fun->itemData(index, Qt::ToolTipRole).toString().size(), 3) << letter;  // its name
    }
    // Written out for a few: the built-in T = R(p1)-L(p3)-par(Q(p2,p5), R(p4)-Ws(p6,p7)).
    f.dlg->job().FUN = 'T';
    f.dlg->loadFromJob();
    EXPECT_EQ(editor->label(2)->text(), QStringLiteral("p2 Q"));
    EXPECT_EQ(editor->label(5)->text(), QString::fromUtf8("p5 Q\u03b1"));
    EXPECT_EQ(editor->label(7)->text(), QString::fromUtf8("p7 Ws \u03c4"));
    EXPECT_EQ(editor->label(8)->text(), QStringLiteral("p8"));
    EXPECT_FALSE(editor->used(8));
    EXPECT_EQ(editor->label(8)->toolTip(), QStringLiteral("p8: not used by the circuit"));
    EXPECT_EQ(fun->itemData(int(kCircuits.codes.find('B')), Qt::ToolTipRole).toString(), QStringLiteral("Randles"));

    // The work folder's T: its own roles and its own name.
    test::writeAll("CIRCUITS", "# my cell: two arcs\nT = R(p1)-par(R(p2), Q(p3,p4))\n");
    page->circuitsChanged();
    EXPECT_EQ(editor->label(4)->text(), QString::fromUtf8("p4 Q\u03b1"));
    EXPECT_FALSE(editor->used(5));
    EXPECT_EQ(fun->itemData(int(kCircuits.codes.find('T')), Qt::ToolTipRole).toString(), QStringLiteral("my cell"));
    EXPECT_EQ(CParamEditor::shortRole("R; DE (R)"), QStringLiteral("R+"));
}
