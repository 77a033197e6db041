#include "collect/task_store.h"

#include <json.h>

#include <climits>
#include <mutex>

json_object* TaskStore = nullptr;

namespace {

// The store lock: guards TaskStore (which array is the current one) and every read and
// write of that array and its records. Coordinator and workers append while workers read.
std::mutex storeLock;

// Member names of a task record, in code page 936 like every other text of the program.
// They are static, so json-c keeps pointers to them instead of a copy per record.
constexpr char kKeywordMember[] = "\xB9\xD8\xBC\xFC\xD7\xD6";       // 关键字
constexpr char kLevelMember[] = "\xCF\xD6\xD0\xD0\xBC\xB6\xB1\xF0"; // 现行级别

constexpr unsigned kConstantNewKey = JSON_C_OBJECT_ADD_KEY_IS_NEW | JSON_C_OBJECT_KEY_IS_CONSTANT;

// Builds the record outside the lock, so appenders only contend for the array append.
// Takes ownership of level. Returns null when memory runs out.
json_object* NewRecord(const Text& keyword, json_object* level) {
    json_object* record = json_object_new_object();
    json_object* key = keyword.size() <= INT_MAX
                           ? json_object_new_string_len(keyword.data(), int(keyword.size()))
                           : nullptr;
    if (!record || !key || !level) {
        json_object_put(record);
        json_object_put(key);
        json_object_put(level);
        return nullptr;
    }
    // A failed add leaves the member with the caller.
    if (json_object_object_add_ex(record, kKeywordMember, key, kConstantNewKey) != 0) {
        json_object_put(key);
        json_object_put(level);
        json_object_put(record);
        return nullptr;
    }
    if (json_object_object_add_ex(record, kLevelMember, level, kConstantNewKey) != 0) {
        json_object_put(level);
        json_object_put(record);
        return nullptr;
    }
    return record;
}

// -1 when the record cannot be built or stored; the store is left as it was.
int AppendRecord(json_object* record) {
    if (!record)
        return -1;
    std::lock_guard lock(storeLock);
    // An append before the first reset starts the store rather than losing the record.
    if (!TaskStore)
        TaskStore = json_object_new_array();
    // Indices must stay representable as int.
    if (!TaskStore || json_object_array_length(TaskStore) >= size_t(INT_MAX) ||
        json_object_array_add(TaskStore, record) != 0) {
        json_object_put(record);
        return -1;
    }
    return int(json_object_array_length(TaskStore) - 1);
}

} // namespace

void ResetTaskStore() {
    json_object* fresh = json_object_new_array();
    json_object* previous;
    {
        std::lock_guard lock(storeLock);
        previous = TaskStore;
        TaskStore = fresh;
    }
    // Readers copy what they need under the lock, so nobody still points into the old
    // array; releasing millions of records outside the lock keeps appenders going.
    json_object_put(previous);
}

int AppendTask(const Text& keyword, int32_t level) {
    return AppendRecord(NewRecord(keyword, json_object_new_int(level)));
}

int AppendTask(const Text& keyword, double level) {
    return AppendRecord(NewRecord(keyword, json_object_new_double(level)));
}

TaskRecordValues GetTask(int index) {
    TaskRecordValues values;
    std::lock_guard lock(storeLock);
    if (!TaskStore || index < 0 || size_t(index) >= json_object_array_length(TaskStore))
        return values;
    json_object* record = json_object_array_get_idx(TaskStore, size_t(index));
    json_object* member = nullptr;
    if (json_object_object_get_ex(record, kKeywordMember, &member) &&
        json_object_is_type(member, json_type_string))
        values.keyword.assign(json_object_get_string(member),
                              size_t(json_object_get_string_len(member)));
    if (json_object_object_get_ex(record, kLevelMember, &member))
        values.level = json_object_get_int(member);
    return values;
}

int TaskCount() {
    std::lock_guard lock(storeLock);
    return TaskStore ? int(json_object_array_length(TaskStore)) : 0;
}

void ReleaseTaskStore() {
    json_object* previous;
    {
        std::lock_guard lock(storeLock);
        previous = TaskStore;
        TaskStore = nullptr;
    }
    json_object_put(previous);
}
