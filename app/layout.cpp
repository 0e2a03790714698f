#include "app/layout.h"

#include <cmath>
#include <initializer_list>

namespace app {

MainGeometry::MainGeometry() {
  for (auto& p : pic1) p = {tab1.left + 50, tab1.top + 400, tab1.width - 100, tab1.height - 350};
}

int paneWidthFor(int W) {
  return static_cast<int>(std::lround(static_cast<double>(W) / 3.0 - 200.0));
}

void resizeGrids(MainGeometry& g, int W, int H) {
  if (H < 1000) return;
  g.pic1[0].width = W - 200;
  g.tab1.width = W - 150;
  g.tab1.height = H - g.tab1.top - 500;
  g.pic1[0].height = g.tab1.height - 1000;
  g.grdFiles.height = g.pic1[0].height / 2 - 500;
  g.intPaneWidth = paneWidthFor(W);
  g.grdFiles.width = g.intPaneWidth;
  g.grdQueries.width = g.intPaneWidth;
  g.grdIndexes.left = g.grdFiles.width + g.grdFiles.left + 100;
  g.grdIndexes.width = g.intPaneWidth;
  g.label3[4].left = g.grdIndexes.left;
  g.txtQuery.left = g.grdIndexes.left;
  g.label3[5].left = g.txtQuery.left;
  g.grdFields.left = g.grdIndexes.width + g.grdIndexes.left + 100;
  g.grdFields.width = g.intPaneWidth;
  g.label3[1].left = g.grdFields.left;
  g.grdIndexes.height = g.grdFiles.height;
  g.grdFieldsCol0 = 2000;
  g.grdIndexesCol0 = 2000;
  g.grdQueries.top = g.grdFiles.height + g.grdFiles.top + 500;
  g.grdQueries.height = g.grdFiles.height;
  g.label3[3].top = g.grdQueries.top - 300;
  g.grdFields.height = g.grdQueries.height + g.grdFiles.height + 500;
  g.txtQuery.top = g.grdQueries.top;
  g.txtQuery.height = g.grdQueries.height;
  g.txtQuery.width = g.intPaneWidth;
  g.label3[5].top = g.label3[3].top;
  for (int i = 0; i < 4; ++i) {
    g.pic1[i].top = g.tab1.top + 400;
    g.pic1[i].left = g.tab1.left + 50;
    g.pic1[i].width = g.tab1.width - 100;
    g.pic1[i].height = g.tab1.height - 350;
    g.pic1Border[i] = 0;
  }
  g.grdData.height = g.pic1[1].height - 600;
  g.grdData.width = g.pic1[1].width - 150;
}

void placeTabPage(MainGeometry& g, int T) {
  if (T < 0 || T > 3) return;
  Twips& p = g.pic1[T];
  p.top = g.tab1.top + 400;
  p.left = g.tab1.left + 50;
  p.width = g.tab1.width - 100;
  p.height = g.tab1.height - 350;
  g.pic1Border[T] = 0;
  for (int i = 0; i < 2; ++i) {
    g.picContainerBorder[i] = 0;
    g.picContainer[i].left = 50;
    g.picContainer[i].top = 100;
    g.picContainer[i].width = p.width - 400;
  }
  if (T >= 1) {
    g.grdData.width = p.width - 10;
    g.grdData.height = p.height - 500;
  }
}

void placeScrollBars(MainGeometry& g, int T) {
  if (T < 2 || T > 3) return;
  const Twips& p = g.pic1[T];
  for (Twips* s : {&g.scr1, &g.scr2}) {
    s->left = p.width - 250;
    s->top = 50;
    s->height = p.height - 300;
  }
}

int twipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

int pixelsToTwips(int pixels, double dpi) {
  if (dpi <= 0) dpi = 96;
  return static_cast<int>(std::lround(static_cast<double>(pixels) * 1440.0 / dpi));
}

int rowTop(int i) { return kRowTop0 + kRowStep * i; }

int panelHeight(int n) { return rowTop(n < 1 ? 0 : n - 1) + 300; }

int panelTopForScroll(int P, int H, int V) {
  float top = -(static_cast<float>(P - (H - 500)) * static_cast<float>(V) / 100.0f);
  return static_cast<int>(std::lround(top));
}

int panelTopForFocus(int H, int T, int C) {
  int top = C;
  if (H - 500 < T && H - T - 500 < C) top = H - T - 500;
  if (top + T < 0) top = top + 300;
  return top;
}

}  // namespace app
