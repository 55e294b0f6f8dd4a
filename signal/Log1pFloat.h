#pragma once

namespace selvik {

// log(1 + x) in single precision, with the same bits on every processor and C
// library. The C libraries differ here: glibc's log1pf is one C routine whose
// aarch64 build the compiler contracted into fused multiply-adds, while its
// x86-64 build rounds every step, so the two give different bits for some
// inputs. This is that routine (fdlibm's) with every step rounded, which is
// the x86-64 result for all 2^32 inputs; it relies on the project's
// -ffp-contract=off.
//
// Error below one unit in the last place. log1pFloat(-1) is -infinity, x < -1
// and NaN give NaN, +infinity gives +infinity, -0 gives -0.
float log1pFloat(float x);

}  // namespace selvik
