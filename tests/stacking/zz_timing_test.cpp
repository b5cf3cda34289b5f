#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include "imagefiles/bmp_file.h"
#include "input/frame_loader.h"
#include "stacking/optimizer.h"
#include "support/temp_dir.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"
namespace talvenor {
TEST(ZzTiming, PerFrame) {
  testing::TempDir dir;
  Workspace ws; Controls form; ScriptedHost host; UserStore store; AppContext c{ws, form, host, store};
  AlignmentState a; OptimizerState o;
  const int F = 200, W = 640, H = 480;
  Bitmap24 b(W, H);
  for (int y = 0; y < H; ++y) for (int x = 0; x < W; ++x) { uint32_t h = x * 73856093u ^ y * 19349663u; h ^= h >> 13; h *= 0x5bd1e995u; b.SetPixel(x, y, Bgr{uint8_t(h), uint8_t(h>>8), uint8_t(h>>16)}); }
  for (int k = 0; k < F; ++k) { auto p = dir / ("f" + std::to_string(k) + ".bmp"); WriteBmp24(p, b); ws.FileNames[k] = p.string(); }
  a.ReferenceImage = b;
  ws.IsImageSeries = true; ws.InputType = kInputBmp; ws.LastFrame = F - 1; ws.SelectedCount = F;
  ws.ImageWidth = ws.SourceWidth = ws.UnclampedWidth = W; ws.ImageHeight = ws.SourceHeight = ws.UnclampedHeight = H;
  ws.AlignBoxSize = 64; ws.AlignX = 320; ws.AlignY = 240; form.SearchArea.Value = 2; form.FastOptimize.Checked = false;
  for (int k = 0; k < F; ++k) { ws.Ranking[k] = RankEntry{k, 1.0f, 0}; ws.Frames[k].Difference = 1e9f; }
  form.AlignSlider.MaxValue = F - 1;
  auto now = [] { return std::chrono::steady_clock::now(); };
  auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
  for (int rep = 0; rep < 10; ++rep) {
  auto t0 = now();
  for (int k = 0; k < F; ++k) LoadFrame(c, ws.FileNames[k]);
  auto t1 = now();
  host.ShowProgressPictures = false;
  OptimizeButtonClick(c, a, o);
  auto t2 = now();
  host.ShowProgressPictures = true;
  OptimizeButtonClick(c, a, o);
  auto t3 = now();
  for (int k = 0; k < F; ++k) OptimizeFrame(c, a, o, k);
  auto t4 = now();
  std::printf("load only %.3f ms/frame; run without pictures %.3f; with pictures %.3f; OptimizeFrame %.3f\n",
    ms(t1 - t0) / F, ms(t2 - t1) / F, ms(t3 - t2) / F, ms(t4 - t3) / F);
  }
}
}
