// The FUN list shows the definition of the chosen circuit, and the parameter
// editor's DE links follow the definition in force: the built-in ones sit
// where the placement table puts them, a work folder's CIRCUITS moves them.
#include "CFitOptionsPage.h"
#include "CParamEditor.h"
#include "OrganiserTestSupport.h"
#include "support/Files.h"

#include "model/Circuit.h"

#include <QComboBox>
#include <QLabel>
#include <gtest/gtest.h>

#include <set>

using namespace nosk;
using nosk::test::OrganiserFixture;

TEST(CircuitDefinition, BuiltInDefinitionsPutTheDeLinksWhereTheTableDoes)
{
    for (char fun : std::string("ABCDEFGHIJKORST")) {
        const auto* d = engine::CircuitLibrary::builtIn().find(fun);
        ASSERT_NE(d, nullptr) << fun;
        std::set<int> selectors;
        for (const engine::DePlace& place : engine::dePlaces(d->circuit))
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
    page->list("FUN")->setCurrentText(QStringLiteral("C"));
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
