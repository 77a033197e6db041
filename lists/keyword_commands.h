#pragma once

// Handlers of "关键字菜单".
void OnAddKeyword();
void OnImportKeywords();
void OnClearKeywords();
