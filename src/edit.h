// Number editing on output: the F fields of the table, alone and four rows
// at a time.
#pragma once

namespace cdmg {

// Writes exactly `width` (7 or 10) characters: the value in Fw.3 form,
// right-aligned, or `width` asterisks when it does not fit. A value that
// rounds to zero loses its minus sign.
void edit_f3(char *out, int width, float value);

// One table row: the time in F7.3, the three values in F10.3, commas
// between them and CR LF at the end.
void edit_row(char *row, float t, float x, float y, float z);

// Four rows from four values of each column. False, with `rows` partly
// written, when the SSE2 kernel leaves a value to the general editing
// (asterisks, an infinity) and the rows to edit_row.
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);

// The plain kernel (edit_row four times) and the SSE2 kernel of
// edit_four_rows, each usable on x86, so that one test program compares them.
namespace scalar {
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);
}
namespace sse2 {
bool edit_four_rows(char *rows, const float *t, const float *x, const float *y, const float *z);
}

} // namespace cdmg
