#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <tuple>
#include <vector>

#include "workspace/caption.h"
#include "workspace/memory_report.h"
#include "workspace/parallel_rows.h"
#include "workspace/progress_window.h"
#include "workspace/scripted_host.h"
#include "workspace/stack_buffers.h"
#include "workspace/workspace.h"

namespace talvenor {
namespace {

TEST(Workspace, FrameLabelAndSelectionCount) {
    Workspace ws;
    ws.LastFrame = 9;
    ws.RecountSelected();
    EXPECT_EQ(ws.FrameLabel(0), "Frame : 1 of 10 ( selected = 10) ");
    ws.Frames[3].Excluded = 1;
    ws.Frames[10].Excluded = 1;  // beyond the sequence: not counted either way
    ws.RecountSelected();
    EXPECT_EQ(ws.SelectedCount, 9);
    ws.Frames[3].Excluded = 0;
    ws.RecountSelected();
    EXPECT_EQ(ws.SelectedCount, 10);
    EXPECT_EQ(ws.FrameLabel(9), "Frame : 10 of 10 ( selected = 10) ");
}

TEST(Workspace, NewSelectionResetKeepsSelectionAndOptimizerScoresStartUpClearsAll) {
    Workspace ws;
    FrameRecord& f = ws.Frames[42];
    f = {3, 4, 5, 6, 0.5f, 0.25f, 9, 8, 7, 6, 5, 55.0f, 1, 1};
    ws.Ranking[0] = {42, 9, 1};
    ws.ResetForNewSelection();
    EXPECT_EQ(f.ShiftX + f.ShiftY + f.ShiftXa + f.ShiftYa, 0);
    EXPECT_EQ(f.Quality + f.Difference + f.QualityA + f.DifferenceA, 0);
    EXPECT_EQ(f.Dropped, 0);
    EXPECT_EQ(f.OptimizeScore, 55.0f);
    EXPECT_EQ(ws.Ranking[0].FrameIndex, 0);
    ws.ClearAll();
    EXPECT_EQ(f.OptimizeScore, 100.0f);
    EXPECT_EQ(f.Excluded, 0);
    EXPECT_EQ(f.SubShiftX, 0.0f);
}

TEST(Workspace, GammaCurveStartsAsTheIdentity) {
    Workspace ws;
    EXPECT_DOUBLE_EQ(ws.GammaCurve[0], 0.000001);
    EXPECT_DOUBLE_EQ(ws.GammaCurve[500], 0.500001);
    EXPECT_DOUBLE_EQ(ws.GammaCurve[1000], 1.000001);
}

TEST(Single2dArray, TheTenSpareColumnsAndRowsAreAddressable) {
    Single2dArray p(7, 5);
    EXPECT_EQ(p.Stride(), 17);
    EXPECT_EQ(p.Rows(), 15);
    p.Fill(0);
    p.Put(16, 14, 3.5f);  // width + 9, height + 9
    EXPECT_EQ(p.Get(16, 14), 3.5f);
    EXPECT_EQ(p.Data()[16 + 14 * 17], 3.5f);
    p.Put(0, 1, 2.0f);
    EXPECT_EQ(p.Row(1)[0], 2.0f);
    EXPECT_EQ(p.Get(17, 0), 2.0f);  // row-major with stride width + 10
}

TEST(Single2dArray, ANewPlaneReadsZeroEverywhereTheMarginIncluded) {
    // Planes are made again and again at each stack; what an earlier one left must not show.
    for (int round = 0; round < 3; ++round) {
        Single2dArray p(33, 21);
        for (int i = 0; i < p.Stride() * p.Rows(); ++i) ASSERT_EQ(p.Data()[i], 0.0f) << i;
        p.Fill(std::nanf(""));
    }
}

TEST(RowWorkers, KeptWorkersCoverEveryRowOnceInTheBandsOfParallelRows) {
    RowWorkers workers;
    // Jobs one after the other on the same workers, of many sizes, as a pass hands them over.
    for (const auto& [first, last, minRows] : {std::tuple{0, 479, 64}, std::tuple{5, 6, 1}, std::tuple{3, 3, 1},
                                              std::tuple{0, 116, 8}, std::tuple{10, 9, 1}, std::tuple{0, 1000, 2}}) {
        for (int repeat = 0; repeat < 20; ++repeat) {
            std::vector<int> seen(std::size_t(std::max(last + 1, 1)), 0);
            std::vector<std::pair<int, int>> kept, fresh;
            std::mutex m;
            workers.Run(first, last, [&](int a, int b) {
                for (int r = a; r <= b; ++r) ++seen[std::size_t(r)];
                std::lock_guard<std::mutex> lock(m);
                kept.emplace_back(a, b);
            }, minRows);
            ParallelRows(first, last, [&](int a, int b) {
                std::lock_guard<std::mutex> lock(m);
                fresh.emplace_back(a, b);
            }, minRows);
            for (int r = 0; r <= last; ++r) EXPECT_EQ(seen[std::size_t(r)], r >= first ? 1 : 0) << r;
            std::sort(kept.begin(), kept.end());
            std::sort(fresh.begin(), fresh.end());
            EXPECT_EQ(kept, fresh);
        }
    }
}

TEST(StackBuffers, ProcessingAreaIsCentredInLargerImages) {
    const struct {
        int item, width, height;
        int areaW, areaH, left, top;
    } cases[] = {
        {0, 600, 400, 600, 400, 0, 0},     // "full"
        {4, 600, 400, 256, 256, 172, 72},  // "256"
        {3, 512, 513, 512, 512, 0, 0},     // exactly the side: no margin, one row left over
        {5, 2, 2, 2, 2, 0, 0},
    };
    for (const auto& c : cases) {
        Workspace ws;
        Controls form;
        SetProcessAreaMax(ws, c.item);
        ws.ImageWidth = c.width;
        ws.ImageHeight = c.height;
        AllocateStackBuffers(ws, form, c.width, c.height);
        SCOPED_TRACE(c.item);
        EXPECT_EQ(ws.ProcessAreaWidth, c.areaW);
        EXPECT_EQ(ws.ProcessAreaHeight, c.areaH);
        EXPECT_EQ(ws.ProcessAreaLeft, c.left);
        EXPECT_EQ(ws.ProcessAreaTop, c.top);
        EXPECT_EQ(ws.StackSum[3].Width(), c.width + 10);
        EXPECT_EQ(ws.ResultPlanes[2].Height(), c.height + 10);
        EXPECT_EQ(ws.StackTiff.Width(), c.width + 1);
        EXPECT_EQ(ws.StackTiff.Height(), c.height + 1);
        EXPECT_EQ(ws.StackTiff.Sample(c.width, c.height, 2), 0);
        EXPECT_EQ(form.Memo1.Lines.size(), 5u);
    }
}

TEST(StackBuffers, LargeImagesScrollTheViewsToTheFeature) {
    Workspace ws;
    Controls form;
    ws.ImageWidth = 2000;
    ws.ImageHeight = 600;
    ws.AlignX = 1000;
    ws.AlignY = 300;
    form.Resampled.Checked = true;
    form.ResampleSpin.Value = 1.5;
    AllocateStackBuffers(ws, form, 2000, 600);
    EXPECT_EQ(form.Scrollbox3.HorzPosition, 1500 - 408);
    EXPECT_EQ(form.ScrollBox2.HorzPosition, 1500 - 408);
    EXPECT_EQ(form.Scrollbox3.VertPosition, 0);  // 600 rows fit the view
    EXPECT_EQ(form.EventScrollBox1.HorzRange, 2000);
    form.Drizzling.Checked = true;  // drizzle doubles, whatever the resample factor
    AllocateStackBuffers(ws, form, 2000, 600);
    EXPECT_EQ(form.Scrollbox3.HorzPosition, 2000 - 408);
}

TEST(ProgressWindow, TheGaugeShowsTheRoundedPercentage) {
    Controls form;
    ScriptedHost host;
    ShowProgress(form, host, "Processing");
    const struct {
        long long done, total;
        int percent;
    } cases[] = {{1, 6, 17}, {1, 8, 13}, {5, 6, 83}, {6, 6, 100}, {0, 6, 0}, {9, 6, 100}, {-1, 6, 0}, {3, 0, 0}};
    for (const auto& c : cases) {
        SetProgress(form, host, c.done, c.total);
        EXPECT_EQ(form.Progressgraph.Progress, c.percent) << c.done << " of " << c.total;
    }
}

TEST(Caption, PrefixFollowsTheSeriesFlagsLastSetWins) {
    Workspace ws;
    ws.AviFileName = "jupiter.avi";
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Input), "Talvenor processing AVI: jupiter.avi");
    EXPECT_EQ(MakeCaption(ws, CaptionKind::DroppedFrames), "Talvenor processing AVI: jupiter.avi(Dropped frames !)");
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Saved), "Talvenor processing AVI: jupiter.avi");

    ws.IsImageSeries = true;
    ws.FileNames[0] = "/d/a.tif";
    ws.FileNames[3] = "/d/d.tif";
    ws.IsTiff = true;
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Input, 3), "Talvenor processing BMP: /d/d.tif");
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Processing, 3), "Talvenor processing TIF: /d/d.tif");
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Saved, 3), "Talvenor processing TIFs: /d/a.tif");
    ws.IsTiff = false;
    EXPECT_EQ(MakeCaption(ws, CaptionKind::StackSlider, 3), "Talvenor processing  BMP: /d/d.tif");
    ws.IsJpeg = true;
    ws.IsFits = true;
    EXPECT_EQ(MakeCaption(ws, CaptionKind::Processing, 0), "Talvenor processing FIT: /d/a.tif");
    ws.IsFits = false;
    EXPECT_EQ(MakeCaption(ws, CaptionKind::StackSlider, 0), "Talvenor processing JPG: /d/a.tif");
}

TEST(MemoryReport, AmountsInMebibytesWithOneDecimalAndThousandsSeparators) {
    const uint64_t MiB = 1024 * 1024;
    EXPECT_EQ(FormatMegabytes(0), "   0.0");
    EXPECT_EQ(FormatMegabytes(512 * MiB), " 512.0");
    EXPECT_EQ(FormatMegabytes(12345 * MiB + MiB / 2 + MiB / 10), "12,345.6");
    EXPECT_EQ(FormatMegabytes(1234567 * MiB), "1,234,567.0");

    MemoryStatus m;
    m.LoadPercent = 37;
    m.TotalPhysical = 8000 * MiB;
    m.FreePhysical = 3000 * MiB;
    m.TotalPaging = 10000 * MiB;
    m.FreePaging = 4000 * MiB;
    m.TotalVirtual = 100 * MiB;
    m.FreeVirtual = 90 * MiB;
    const std::vector<std::string> expected = {
        "Current memory load: 37%",
        "Free physical memory: 3,000.0 Mbytes",
        "Used physical memory: 5,000.0 Mbytes",
        "Used paging file memory: 6,000.0 Mbytes",
        "Used virtual memory:   10.0 Mbytes",
    };
    EXPECT_EQ(MemoryReportLines(m), expected);

    const MemoryStatus live = ReadMemoryStatus();
    EXPECT_GT(live.TotalPhysical, 0u);
    EXPECT_LE(live.FreePhysical, live.TotalPhysical);
    EXPECT_GE(live.LoadPercent, 0);
    EXPECT_LE(live.LoadPercent, 100);
}

}  // namespace
}  // namespace talvenor
