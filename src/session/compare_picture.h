#pragma once
// "Compare": the picture the Wavelet and Final pages show while the user holds the button, the
// unsharpened stack as it would stand where the result stands. Only this picture is made; the
// result itself is left as it is, so letting go shows it again without any work.
#include "session/session.h"

namespace talvenor {

// The stack the Wavelet page starts from, at the processed picture's size; on the Final page
// turned and flipped as the final picture is (colours left as stacked) with the crop outline
// where the final picture has it. Empty on the other pages and before a stack exists.
Bitmap24 BeforePicture(Session& s);

}  // namespace talvenor
