// Geometry of the main window, in twips (1/1440 inch): the files page with
// its three columns of lists, the four pages over the tab control, the data
// grid, the record and filter panels and their scroll bars. Plain functions
// over plain numbers, so the arithmetic can be checked without any window.
//
// Sizes are carried as int: a window or screen wider or taller than 32,767
// twips (about 2,200 pixels at 96 dpi) lays out like any other.
#pragma once

namespace app {

struct Twips {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Twips&) const = default;
};

struct MainGeometry {
  Twips tab1{50, 900, 12225, 6900};
  Twips pic1[4];
  int pic1Border[4] = {1, 1, 1, 1};
  // Files page.
  Twips grdFiles{120, 360, 3800, 2600};
  Twips grdQueries{120, 3460, 3800, 2600};
  Twips grdIndexes{4020, 360, 3800, 2600};
  Twips grdFields{7920, 360, 3800, 5700};
  Twips txtQuery{4020, 3460, 3800, 2600};
  Twips label3[6] = {
      {120, 0, 1500, 195},    // 0 "Tables"
      {7920, 0, 2500, 195},   // 1 "Columns in Table or Query"
      {8520, 3000, 1500, 195},  // 2 "Selected Columns" (hidden)
      {120, 3160, 1500, 195},   // 3 "Queries"
      {4020, 0, 1500, 195},   // 4 "Indexes"
      {4020, 3160, 1500, 195},  // 5 "Query SQL"
  };
  int intPaneWidth = 3800;
  int grdFieldsCol0 = 2000;
  int grdIndexesCol0 = 2000;
  // Grid page.
  Twips grdData{60, 120, 11900, 5900};
  // Record and filter pages.
  Twips picContainer[2] = {{0, 360, 5415, 1815}, {0, 240, 7215, 1935}};
  int picContainerBorder[2] = {1, 1};
  Twips scr1{5640, 360, 255, 1335};
  Twips scr2{7320, 120, 255, 1335};

  MainGeometry();
};

// Lays the window out for an outer size of W by H twips. Heights below 1000
// change nothing.
void resizeGrids(MainGeometry& g, int W, int H);

// The geometry part of a switch to tab T (0..3): places the chosen page,
// puts both panels back at their unscrolled place and width, and for a data
// tab sizes the data grid to the page.
void placeTabPage(MainGeometry& g, int T);
// For the record and filter tabs, after the panels were built: the two scroll
// bars along the right edge of page T.
void placeScrollBars(MainGeometry& g, int T);

// W / 3 - 200 rounded to the nearest integer.
int paneWidthFor(int W);

// Conversions with the screen's logical dots per inch.
int twipsToPixels(int twips, double dpi);
int pixelsToTwips(int pixels, double dpi);

// Per-field rows: the Top of row i on either panel, and a panel's height for
// n rows (n >= 1).
inline constexpr int kRowTop0 = 200;
inline constexpr int kRowStep = 350;
int rowTop(int i);
int panelHeight(int n);

// Panel Top for scroll value V (1..100) with panel height P on a page of
// height H: -((P - (H - 500)) * V / 100) in single precision, rounded.
int panelTopForScroll(int P, int H, int V);
// Panel Top after a box at Top T inside the panel got the focus, with the
// page height H and the panel's current Top C.
int panelTopForFocus(int H, int T, int C);

}  // namespace app
