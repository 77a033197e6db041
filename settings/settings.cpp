#include "settings/settings.h"

#include "app/run_state.h"
#include "settings/ini_file.h"

namespace {

std::string ConfigPath() {
    return ProgramDir + kConfigFileName;
}

void LoadOne(const Text& key, const Text& def, ui::EditBoxName box) {
    const Text value = ReadIniValue(ConfigPath(), kConfigSection, key, def);
    // Setting a box to the text it already shows raises no text-changed event, so such a
    // value would never reach the file through SaveSetting.
    const bool unchanged = ui::EditText(box) == value;
    ui::SetEditText(box, value);
    if (unchanged)
        SaveSetting(key, box);
}

} // namespace

void LoadSettings() {
    LoadOne(kKeyWorkerThreads, kDefaultWorkerThreads, ui::EditBoxName::编辑框_工作线程);
    LoadOne(kKeyCollectLevel, kDefaultCollectLevel, ui::EditBoxName::编辑框_采集级别);
}

void SaveSetting(const Text& key, ui::EditBoxName box) {
    WriteIniValue(ConfigPath(), kConfigSection, key, ui::EditText(box));
}
