#pragma once

// The routine of every work item of a run: searches the keyword of task record index,
// lists the related keywords found and posts one child task for each, one level deeper.
void CollectTask(int index);

// The left and right markers of the related-search block and of each link text in it.
extern const char kRelatedBlockLeft[];
extern const char kRelatedBlockRight[];
extern const char kLinkTextLeft[];
extern const char kLinkTextRight[];
