// Main window geometry in twips: the worked numbers of the layout, the tab
// switch placements, the panel scrolling and the twips/pixel conversions.
#include <gtest/gtest.h>

#include "app/layout.h"

using namespace app;

TEST(ResizeGrids, WorkedExample15360By11520) {
  MainGeometry g;
  resizeGrids(g, 15360, 11520);
  EXPECT_EQ(g.intPaneWidth, 4920);
  EXPECT_EQ(g.tab1.width, 15210);
  EXPECT_EQ(g.tab1.height, 10120);
  EXPECT_EQ(g.tab1.top, 900);
  EXPECT_EQ(g.grdFiles.height, 4060);
  EXPECT_EQ(g.grdQueries.top, 4920);
  EXPECT_EQ(g.grdFields.height, 8620);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g.pic1[i].width, 15110) << i;
    EXPECT_EQ(g.pic1[i].height, 9770) << i;
    EXPECT_EQ(g.pic1[i].left, 100) << i;
    EXPECT_EQ(g.pic1[i].top, 1300) << i;
    EXPECT_EQ(g.pic1Border[i], 0);
  }
  // Three columns of intPaneWidth separated by 100.
  EXPECT_EQ(g.grdFiles.left, 120);
  EXPECT_EQ(g.grdIndexes.left, 120 + 4920 + 100);
  EXPECT_EQ(g.grdFields.left, g.grdIndexes.left + 4920 + 100);
  EXPECT_EQ(g.grdFields.top, 360);
  EXPECT_EQ(g.txtQuery.left, g.grdIndexes.left);
  EXPECT_EQ(g.txtQuery.top, 4920);
  EXPECT_EQ(g.txtQuery.height, 4060);
  EXPECT_EQ(g.label3[3].top, 4620);
  EXPECT_EQ(g.label3[5].top, 4620);
  EXPECT_EQ(g.label3[4].left, g.grdIndexes.left);
  EXPECT_EQ(g.label3[1].left, g.grdFields.left);
  EXPECT_EQ(g.grdIndexes.height, 4060);
  // The data grid after a resize: 150 narrower, 600 shorter than its page.
  EXPECT_EQ(g.grdData.width, 15110 - 150);
  EXPECT_EQ(g.grdData.height, 9770 - 600);
}

TEST(ResizeGrids, PaneWidthRoundsToNearest) {
  EXPECT_EQ(paneWidthFor(1501), 300);
  EXPECT_EQ(paneWidthFor(1502), 301);
  EXPECT_EQ(paneWidthFor(1500), 300);
}

TEST(ResizeGrids, LowWindowChangesNothing) {
  MainGeometry g, before;
  resizeGrids(g, 15000, 999);
  EXPECT_EQ(g.tab1, before.tab1);
  EXPECT_EQ(g.grdFiles, before.grdFiles);
  EXPECT_EQ(g.pic1[2], before.pic1[2]);
}

TEST(ResizeGrids, SizesAbove32767TwipsLayOutLikeAnyOther) {
  MainGeometry g;
  resizeGrids(g, 57600, 32400);  // 3840 x 2160 pixels at 96 dpi
  EXPECT_EQ(g.tab1.width, 57450);
  EXPECT_EQ(g.tab1.height, 32400 - 900 - 500);
  EXPECT_EQ(g.intPaneWidth, 19000);
  EXPECT_EQ(g.pic1[1].width, 57350);
  EXPECT_GT(g.grdData.height, 0);
}

TEST(TabSwitchGeometry, DataTabsSizeTheGridAndEveryTabResetsThePanels) {
  MainGeometry g;
  resizeGrids(g, 15360, 11520);
  g.picContainer[0].top = -700;
  g.picContainer[1].top = -350;
  placeTabPage(g, 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(g.picContainer[i].top, 100);
    EXPECT_EQ(g.picContainer[i].left, 50);
    EXPECT_EQ(g.picContainer[i].width, 15110 - 400);
  }
  EXPECT_EQ(g.grdData.width, 15110 - 150);  // tab 0 leaves the grid
  placeTabPage(g, 1);
  EXPECT_EQ(g.grdData.width, 15110 - 10);
  EXPECT_EQ(g.grdData.height, 9770 - 500);
  placeScrollBars(g, 2);
  EXPECT_EQ(g.scr1.left, 15110 - 250);
  EXPECT_EQ(g.scr1.top, 50);
  EXPECT_EQ(g.scr1.height, 9770 - 300);
  EXPECT_EQ(g.scr2, g.scr1);
  // A later resize leaves scroll bars and panel widths where the switch put them.
  resizeGrids(g, 20000, 12000);
  EXPECT_EQ(g.scr1.left, 15110 - 250);
  EXPECT_EQ(g.picContainer[0].width, 15110 - 400);
  EXPECT_EQ(g.grdData.width, 19850 - 100 - 150);
}

TEST(PanelRows, TopsAndHeights) {
  EXPECT_EQ(rowTop(0), 200);
  EXPECT_EQ(rowTop(9), 3350);
  EXPECT_EQ(panelHeight(1), 500);
  EXPECT_EQ(panelHeight(10), 3650);
}

TEST(PanelScrolling, TopFollowsTheScrollValue) {
  // Panel 3650 high on a page 2000 high: 3650 - 1500 = 2150 to scroll.
  EXPECT_EQ(panelTopForScroll(3650, 2000, 100), -2150);
  EXPECT_EQ(panelTopForScroll(3650, 2000, 1), -22);  // -21.5 in single precision, rounded
  EXPECT_EQ(panelTopForScroll(3650, 2000, 50), -1075);
}

TEST(PanelFocus, BoxBelowTheVisiblePartIsBroughtUpAndBoxAboveMovesDown300) {
  // Page 2000 high: visible height 1500. A box at 3350 with the panel at 100.
  EXPECT_EQ(panelTopForFocus(2000, 3350, 100), 2000 - 3350 - 500);
  // Already in view: unchanged.
  EXPECT_EQ(panelTopForFocus(2000, 900, 100), 100);
  EXPECT_EQ(panelTopForFocus(2000, 3350, -1850), -1850);
  // Above the visible part: one step of 300 down.
  EXPECT_EQ(panelTopForFocus(2000, 200, -1000), -700);
}

TEST(Twips, ConvertWithTheLogicalDpi) {
  EXPECT_EQ(twipsToPixels(1440, 96), 96);
  EXPECT_EQ(twipsToPixels(15, 96), 1);
  EXPECT_EQ(twipsToPixels(15360, 96), 1024);
  EXPECT_EQ(twipsToPixels(1440, 144), 144);
  EXPECT_EQ(pixelsToTwips(1920, 96), 28800);
  EXPECT_EQ(pixelsToTwips(2560, 96), 38400);
  EXPECT_EQ(pixelsToTwips(100, 120), 1200);
}
