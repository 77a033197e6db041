#pragma once

// Handler of 按钮_开始采集: starts a run when the caption reads "开始采集", stops the
// active run otherwise.
void OnStartStopClicked();

// The coordinator's thread routine: seeds the task store from 列表框_关键字, waits for
// every task to finish, de-duplicates the results and reports the totals.
void RunCoordinator();

// Cuts off the active coordinator, if any, and forgets it. Used by the stop command and
// the closing sequence.
void EndCoordinator();
