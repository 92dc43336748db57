// Connected components of binary masks (8-connectivity): labelling with sizes, and removal of
// components by area.
#pragma once

#include <deque>
#include <utility>
#include <vector>

namespace Talvex::Common::Algorithms::Analysis {

class CConnectedComp2D {
 public:
  CConnectedComp2D() = default;

  // Labels the 8-connected components of the non-zero pixels of image.
  //
  //   image   rows row pointers of cols bytes; CLEARED to all zero on return (every foreground
  //           pixel is taken out as it is labelled)
  //   labels  rows row pointers of cols ints; each foreground pixel receives its component's
  //           number, 1, 2, ... in raster order of the components' first pixels. Other entries
  //           are not written: pass a zeroed label image.
  //   sizes   sizes[k - 1] receives the pixel count of component k. Must hold one entry per
  //           component; ((rows + 1) / 2) * ((cols + 1) / 2) entries always suffice.
  // Returns the number of components, or -1 for a null pointer, a non-positive size or an
  // allocation failure.
  int labelConnectedComp(unsigned char** image, int rows, int cols, int** labels, int* sizes);

  // Removes components by their pixel count s and leaves the remaining ones as 1:
  //   mode 1: removes s < area1;  mode 2: removes s > area1;  mode 3: removes area1 < s < area2;
  //   any other mode removes nothing.
  // On return every pixel of a kept component is 1 and every other pixel 0 (foreground values
  // other than 1 become 1). Removed components give their number back, so the kept ones are
  // numbered consecutively while labelling.
  // Returns 0, or -1 for a null pointer, a non-positive size or an allocation failure (the image
  // is then unspecified).
  int bwopenarea(unsigned char** image, int rows, int cols, int mode, int area1, int area2);

 private:
  struct Pixel {
    int row;
    int col;
  };

  // Flood fill of the component seeded at (row, col) with label k; returns its size.
  int FloodFill(unsigned char** image, int rows, int cols, int** labels, int row, int col, int k);
  static bool Removed(int size, int mode, int area1, int area2);

  int record_ = 0;                             // set while bwopenarea labels: keep component pixels
  std::deque<std::pair<int, int>> component_;  // (row, col) of the component being labelled
  std::vector<Pixel> work_;                    // flood-fill work stack, reused between components
};

}  // namespace Talvex::Common::Algorithms::Analysis
