// Binary morphology of segmentation masks: structuring elements, and dilation, erosion, opening and
// closing with replicated borders.
//
// Images are contiguous row-major bytes (`rows` rows of `cols` bytes, row step = cols); 0 is
// background, any non-zero value foreground. The operations are grey-level maximum/minimum
// filters, so a mask of 0/255 stays 0/255 and a mask of 0/1 stays 0/1.
//
// A structuring element is maskRows x maskCols bytes, row after row; a non-zero byte makes its
// position a member. Its anchor, the position that lands on the output pixel, is
// (maskCols / 2, maskRows / 2) in (column, row) order, integer division. The element is NOT
// reflected: member (i, j) of output pixel (r, c) reads input pixel (r + i - maskRows / 2,
// c + j - maskCols / 2). Pixels outside the image take the value of the nearest image pixel.
#pragma once

namespace Talvex::Common::Algorithms::Analysis {

// Disk-like element made by cutting the four corners off a rows x cols rectangle of ones.
// The corner triangles have legs r + 1 with
//
//   r = trunc(diameter / 2 + 0.5)
//
// exactly: rows 0 ... r lose their first r + 1 - k and their last r + 1 - k entries (row k), the
// bottom r + 1 rows mirror this, and rows or columns outside the element are skipped. NOTE: r is
// the number of cut diagonals, not the radius of the disk in pixels; a "disk of radius R" at a call
// site is whatever (size, diameter) pair that call site passes, and each caller says which. For
// example 7 x 7 with diameter 3 gives r = 2, corner triangles of legs 3 and
//
//   0 0 0 1 0 0 0
//   0 0 1 1 1 0 0
//   0 1 1 1 1 1 0
//   1 1 1 1 1 1 1
//   0 1 1 1 1 1 0
//   0 0 1 1 1 0 0
//   0 0 0 1 0 0 0
//
// while 11 x 11 with diameter 5 (r = 3) keeps rows of 3, 5, 7, 9, 11, 11, 11, 9, 7, 5, 3 members.
// se receives rows * cols bytes (1 = member, 0 = not). Non-positive sizes write nothing.
void diskstr(unsigned char* se, int rows, int cols, float diameter);

// Rectangle of ones: rows x cols bytes all 1. A square element is n x n; a horizontal line of
// length n is 1 x n (maskRows 1, maskCols n), a vertical one n x 1. Non-positive sizes write
// nothing.
void rectstr(unsigned char* se, int rows, int cols);

// dst(r, c) = maximum over the members of the element (dilation). dst may equal src; any other
// overlap is not allowed. Returns 0, or -1 for a null pointer, a non-positive size, an element
// without members, or an allocation failure (dst is then unspecified).
int imdilate(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
             int maskCols, unsigned char* dst);

// dst(r, c) = minimum over the members of the element (erosion). Arguments and result as for
// imdilate.
int imerode(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
            int maskCols, unsigned char* dst);

// Opening: erosion, then dilation with the same element. Arguments and result as for imdilate.
int imopen(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
           int maskCols, unsigned char* dst);

// Closing: dilation, then erosion with the same element. Arguments and result as for imdilate.
int imclose(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
            int maskCols, unsigned char* dst);

}  // namespace Talvex::Common::Algorithms::Analysis
