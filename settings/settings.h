#pragma once

#include "text/text.h"
#include "ui/controls.h"

// Handler of the main window's created event: fills the two setting boxes from the
// settings file (defaults "20" and "1"). Every box ends up written back, so after it the
// file holds both keys even on a first start.
void LoadSettings();

// Handler of a setting box's text-changed event: stores the box's whole current text as
// the value of key at once. A failed write is not reported; the box keeps working.
void SaveSetting(const Text& key, ui::EditBoxName box);
