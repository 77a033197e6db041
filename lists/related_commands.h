#pragma once

// Handlers of "相关关键字菜单".
void OnExportRelated();
void OnClearRelated();

// Removes repeated items from 列表框_相关关键字, keeping the first occurrence of every
// distinct text in order. With processEvents (the stop command, on the UI thread) the
// window's events are handled while the items are added back. Without it (the
// coordinator) the list is read and replaced through the UI-thread hand-off; returns
// false when the calling work was cut off before the list was replaced.
bool DedupeRelatedList(bool processEvents);
