#include "session/settings_mirror.h"

#include <cmath>

namespace talvenor {

void RegisterSettingsMirror(Session& s) {
    Controls& f = s.form;
    UserStore& store = s.Settings;
    s.handlers.On("SearchArea", Event::Change,
                  [&] { store.WriteInteger("Settings", "SearchArea", std::llrint(f.SearchArea.Value)); });
    s.handlers.On("AutoProcessBox", Event::Click,
                  [&] { store.WriteBool("Settings", "Autoprocess", f.AutoProcessBox.Checked); });
    s.handlers.On("ColourStack", Event::Click, [&] { store.WriteBool("Settings", "usecolour", f.ColourStack.Checked); });
    s.handlers.On("Misalignwarning", Event::Click,
                  [&] { store.WriteBool("Settings", "Misalignwarning", f.Misalignwarning.Checked); });
    s.handlers.On("FFTFilterspin", Event::Change,
                  [&] { store.WriteInteger("Settings", "FFTFilter", std::llrint(f.FFTFilterspin.Value)); });
    for (const char* control : {"QualityFilter", "QualFilterDX"})
        s.handlers.On(control, Event::Change,
                      [&] { store.WriteInteger("Settings", "QualityFilter", std::llrint(f.QualityFilter.Value)); });
}

}  // namespace talvenor
