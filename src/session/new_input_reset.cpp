#include "session/new_input_reset.h"

#include "session/auto_sharpening.h"
#include "session/session.h"

namespace talvenor {

void ForgetPreviousResults(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    ws.StackReady = false;
    ws.LayersStale = true;
    for (Picture* p : {&f.Stackimage, &f.ProcessImage, &f.RotateImage, &f.Image3, &f.ShrinkImage}) {
        p->Image = Bitmap24();
        s.host.Repaint(p);
    }
    f.SaveButton.Enabled = false;
    f.SaveBMP2button.Enabled = false;
    ForgetBlurEstimate(s);
}

void ResetFinalForNewInput(Session& s) {
    Controls& f = s.form;
    if (f.HoldFinal.Checked) return;
    f.RxSpinEdit4.Value = 0;
    f.ComboBox2.ItemIndex = 0;
    f.ASSwitcher1.Value = 0;
    f.FlipX.Checked = f.FlipY.Checked = false;
    // "Reset HSL" as the user's click: the sliders, their labels and the curves.
    s.Dispatch("Button7", Event::Click);
}

}  // namespace talvenor
