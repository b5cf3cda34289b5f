#pragma once
// The frame plan of the realistic capture model. Seeing does not jump at random from frame
// to frame: the blur wanders, staying good or bad for a few frames at a time, and is rarely
// the same along both axes. The picture drifts as the mount tracks imperfectly (a random
// walk on top of the steady drift) and jumps by the tip-tilt of the air (jitter).
//
// Each wandering quantity is an AR(1) series of a standard normal latent variable,
// z(k) = rho z(k-1) + sqrt(1 - rho^2) e(k) with rho = exp(-1 / correlationFrames), mapped
// into its range:
//   sigma   = lo + (hi - lo) sqrt(Phi(z))      (Phi: normal CDF; most frames soft, few sharp)
//   sigmaX  = sigma (1 + A)^(t / 2), sigmaY = sigma (1 + A)^(-t / 2), t = tanh(z')
//   gain    = 1 + brightness tanh(z'')         (thin cloud, transparency)
// so the effective blur sqrt(sigmaX sigmaY) is `sigma` and stays within lo .. hi, while the
// ratio of the axes stays within 1 / (1 + A) .. 1 + A.
#include <vector>

#include "capture/frames.h"

namespace talvenor::capture {

struct SeeingOptions {
    double correlationFrames = 3;  // e-folding time of the seeing series, frames
    double anisotropy = 0.3;       // A: sigmaX / sigmaY lies within 1 / (1 + A) .. 1 + A
    double walk = 0.15;            // random-walk step of the pointing, pixels per frame, each axis
    // Seeing that differs across the frame (see local_seeing.h), 0: the whole frame alike.
    double distortion = 0;         // rms of the local displacement, pixels, each axis
    double patchiness = 0;         // P: the local blur is the frame's times exp(P g), g of unit rms
};

// Throws talvenor::Error naming the first value out of range.
void CheckSeeing(const SeeingOptions& seeing);

// The plan of every frame, deterministic by motion.seed. Here motion.jitter is the standard
// deviation of the tip-tilt jump on each axis; the drift and the dropped frames are as in
// PlanFrames. Frame 0 is not moved: (dx, dy) is the position relative to frame 0.
std::vector<FrameTruth> PlanSeeingFrames(const MotionOptions& motion, const SeeingOptions& seeing);

}  // namespace talvenor::capture
