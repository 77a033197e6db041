#pragma once

#include "text/text.h"

#include <cstdint>

struct json_object;

// The task store: one json-c array of task records {"关键字": string, "现行级别": number},
// a record's 0-based position being its task index. Every operation holds the store lock.
// TaskStore itself is part of the shared run state.
extern json_object* TaskStore;

// The store becomes a new empty array; the previous run's records are released.
void ResetTaskStore();

// Appends a record and returns its index. A seed's level is stored as an integer, a
// child's (parent's level plus one) as a double. An append before the first reset (or
// after the release) starts a new store; -1 only when the record cannot be stored
// (memory exhausted).
int AppendTask(const Text& keyword, int32_t level);
int AppendTask(const Text& keyword, double level);

struct TaskRecordValues {
    Text keyword;
    int32_t level = 0;
};
// The record at index: the keyword and the integer value of the level. An index that
// holds no record gives an empty keyword and level 0.
TaskRecordValues GetTask(int index);

// Number of records (for tests and the report).
int TaskCount();

// Releases the store's value (at exit).
void ReleaseTaskStore();
