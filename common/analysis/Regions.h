// Region operations on binary masks given as row-pointer tables (`image[r][c]`, 0 = background,
// non-zero = foreground): hole filling and perimeter extraction. Note the (cols, rows) argument
// order of both functions.
#pragma once

namespace Talvex::Common::Algorithms::Analysis {

// Fills the holes of a mask: background regions that do not reach the image border.
//
// Works on the mask I padded with a zero row above and a zero column on the left. The complement
// of I is reconstructed by dilation (with the given connectivity) from the complement of a marker
// that equals I on the padded frame and 255 inside; the complement R of that reconstruction keeps
// the foreground and the holes and clears the background that reaches the border. As a grey-level
// operation, R(p) is the smallest value v such that a connected path from the padded frame (the
// zero row and column, and the image's last row and column) to p runs through pixels of I <= v.
//
//   image         rows row pointers of cols bytes each; changed in place
//   connectivity  4 (edge neighbours) or 8 (edge and corner neighbours); the library passes 4
//   mode          0: every pixel with R non-zero is SET TO 1 (foreground pixels of any value and
//                 the filled holes become 1; border-connected background stays 0; nothing is
//                 cleared). Any other mode: the image receives R (foreground and holes 255 for a
//                 0/255 mask).
// Returns 0, or -1 for a null image, a non-positive size, a connectivity other than 4 or 8, or an
// allocation failure (image untouched).
int imfillholes(unsigned char** image, int cols, int rows, int connectivity, int mode);

// Replaces a mask by its perimeter: the foreground pixels with a background edge neighbour, where
// everything outside the image counts as background (so foreground on the image border always
// stays). Computed as image AND NOT erode(image) with the 3 x 3 cross on a zero-padded copy, byte
// by byte: a 0/255 mask gives a 0/255 perimeter.
//
//   image   rows row pointers of cols bytes; the rows must be ONE contiguous block (image[r] =
//           image[0] + r * cols), as the result is written through image[0]
// Returns 0, or -1 for a null image, a non-positive size or an allocation failure.
int bwperim(unsigned char** image, int cols, int rows);

}  // namespace Talvex::Common::Algorithms::Analysis
