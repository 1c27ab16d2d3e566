#include "download/task_list.h"

#include "core/json.h"

#include <cmath>
#include <set>

namespace {

constexpr int64_t kFileVersion = 1;

const char* validatorKindName(ValidatorKind kind)
{
    switch (kind) {
    case ValidatorKind::ETag: return "etag";
    case ValidatorKind::LastModified: return "lastModified";
    case ValidatorKind::None: break;
    }
    return "none";
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF. A
// path with a bad sequence would turn into another path when widened.
bool isValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t codePoint = 0;
        uint32_t lowest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, codePoint = lead & 0x1F, lowest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, codePoint = lead & 0x0F, lowest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, codePoint = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < lowest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

void appendMember(std::string& out, const char* key, const std::string& value, bool last = false)
{
    out += "      \"";
    out += key;
    out += "\": ";
    out += value;
    out += last ? "\n" : ",\n";
}

std::string quoted(const std::string& text)
{
    return "\"" + json::escape(text) + "\"";
}

std::string spansText(const std::vector<ByteSpan>& spans)
{
    std::string out = "[";
    for (size_t i = 0; i < spans.size(); ++i) {
        if (i) out += ", ";
        out += "[" + std::to_string(spans[i].first) + ", " + std::to_string(spans[i].end) + "]";
    }
    return out + "]";
}

// Reads the members of one task, remembering the first thing wrong.
class TaskReader {
public:
    TaskReader(const json::Value& object, size_t index, TaskListRead& result)
        : object_(object), where_("tasks[" + std::to_string(index) + "]"), result_(result)
    {
    }

    bool fail(TaskListProblem problem, const std::string& key, const std::string& what)
    {
        result_.problem = problem;
        result_.detail = where_ + "." + key + ": " + what;
        return false;
    }

    bool integer(const char* key, int64_t lowest, int64_t highest, int64_t& out)
    {
        const json::Value* value = object_.get(key);
        if (!value) return fail(TaskListProblem::BadField, key, "missing");
        if (value->type != json::Type::Number) return fail(TaskListProblem::BadField, key, "not a number");
        const double number = value->number;
        if (!std::isfinite(number) || std::floor(number) != number)
            return fail(TaskListProblem::BadField, key, "not a whole number");
        if (number < static_cast<double>(lowest) || number > static_cast<double>(highest))
            return fail(TaskListProblem::BadField, key, "out of range");
        out = static_cast<int64_t>(number);
        return true;
    }

    bool text(const char* key, bool required, std::string& out)
    {
        const json::Value* value = object_.get(key);
        if (!value) return fail(TaskListProblem::BadField, key, "missing");
        if (value->type != json::Type::String) return fail(TaskListProblem::BadField, key, "not a string");
        if (required && value->string.empty()) return fail(TaskListProblem::BadField, key, "empty");
        if (value->string.find('\0') != std::string::npos)
            return fail(TaskListProblem::BadField, key, "holds a NUL character");
        if (!isValidUtf8(value->string)) return fail(TaskListProblem::BadField, key, "not UTF-8");
        out = value->string;
        return true;
    }

    bool flag(const char* key, bool& out)
    {
        const json::Value* value = object_.get(key);
        if (!value) return fail(TaskListProblem::BadField, key, "missing");
        if (value->type != json::Type::Bool) return fail(TaskListProblem::BadField, key, "not true or false");
        out = value->boolean;
        return true;
    }

    bool validator(StoredTask& task)
    {
        std::string kind;
        if (!text("validatorKind", true, kind) || !text("validator", false, task.validator)) return false;
        if (kind == "none") task.validatorKind = ValidatorKind::None;
        else if (kind == "etag") task.validatorKind = ValidatorKind::ETag;
        else if (kind == "lastModified") task.validatorKind = ValidatorKind::LastModified;
        else return fail(TaskListProblem::BadField, "validatorKind", "unknown kind \"" + kind + "\"");
        if ((task.validatorKind == ValidatorKind::None) != task.validator.empty())
            return fail(TaskListProblem::Inconsistent, "validator", "must be empty exactly when the kind is none");
        return true;
    }

    bool spans(StoredTask& task)
    {
        const json::Value* value = object_.get("spans");
        if (!value) return fail(TaskListProblem::BadField, "spans", "missing");
        if (value->type != json::Type::Array) return fail(TaskListProblem::BadField, "spans", "not an array");
        int64_t held = 0;
        int64_t previousEnd = 0;
        for (size_t i = 0; i < value->array.size(); ++i) {
            const json::Value& pair = *value->array[i];
            const std::string key = "spans[" + std::to_string(i) + "]";
            if (pair.type != json::Type::Array || pair.array.size() != 2)
                return fail(TaskListProblem::BadField, key, "not a [first, end] pair");
            int64_t bounds[2] = {};
            for (int k = 0; k < 2; ++k) {
                const json::Value& bound = *pair.array[k];
                if (bound.type != json::Type::Number || !std::isfinite(bound.number) ||
                    std::floor(bound.number) != bound.number || bound.number < 0 ||
                    bound.number > static_cast<double>(kLargestStoredSize))
                    return fail(TaskListProblem::BadField, key, "bounds must be whole numbers from 0 to 2^53");
                bounds[k] = static_cast<int64_t>(bound.number);
            }
            const ByteSpan span{bounds[0], bounds[1]};
            if (span.first >= span.end) return fail(TaskListProblem::Inconsistent, key, "empty or reversed");
            if (span.first < previousEnd)
                return fail(TaskListProblem::Inconsistent, key, "overlaps or precedes the span before it");
            if (task.size > 0 && span.end > task.size)
                return fail(TaskListProblem::Inconsistent, key, "ends past size");
            previousEnd = span.end;
            held += span.end - span.first;
            task.spans.push_back(span);
        }
        if (held != task.received)
            return fail(TaskListProblem::Inconsistent, "spans",
                        "hold " + std::to_string(held) + " bytes, received says " + std::to_string(task.received));
        return true;
    }

    bool read(StoredTask& task)
    {
        int64_t id = 0;
        int64_t state = 0;
        if (!integer("id", INT32_MIN, INT32_MAX, id)) return false;
        task.id = static_cast<int32_t>(id);
        if (!text("name", false, task.name) || !text("url", true, task.url) || !text("md5", false, task.md5))
            return false;
        if (!integer("size", 0, kLargestStoredSize, task.size)) return false;
        if (!integer("received", 0, kLargestStoredSize, task.received)) return false;
        if (task.size > 0 && task.received > task.size)
            return fail(TaskListProblem::Inconsistent, "received", "larger than size");
        if (!integer("state", 0, kHighestStoredState, state)) return false;
        task.state = static_cast<int32_t>(state);
        if (!text("partPath", true, task.partPath) || !text("finalPath", true, task.finalPath)) return false;
        if (!flag("isArchive", task.isArchive) || !flag("md5Ok", task.md5Ok)) return false;
        if (!validator(task) || !spans(task)) return false;
        return !object_.get("error") || text("error", false, task.error);
    }

private:
    const json::Value& object_;
    std::string where_;
    TaskListRead& result_;
};

TaskListRead rejected(TaskListProblem problem, const std::string& detail)
{
    TaskListRead result;
    result.problem = problem;
    result.detail = detail;
    return result;
}

}  // namespace

bool StoredTask::operator==(const StoredTask& other) const
{
    return id == other.id && name == other.name && url == other.url && md5 == other.md5 && size == other.size &&
           received == other.received && state == other.state && partPath == other.partPath &&
           finalPath == other.finalPath && isArchive == other.isArchive && md5Ok == other.md5Ok &&
           validatorKind == other.validatorKind && validator == other.validator && spans == other.spans &&
           error == other.error;
}

std::vector<ByteSpan> spansFromStart(int64_t received)
{
    if (received <= 0) return {};
    return {ByteSpan{0, received}};
}

int64_t heldFromStart(const std::vector<ByteSpan>& spans)
{
    return !spans.empty() && spans.front().first == 0 ? spans.front().end : 0;
}

std::string taskListText(const std::vector<StoredTask>& tasks)
{
    std::string out = "{\n  \"version\": " + std::to_string(kFileVersion) + ",\n  \"tasks\": [";
    for (size_t i = 0; i < tasks.size(); ++i) {
        const StoredTask& task = tasks[i];
        out += i ? ",\n    {\n" : "\n    {\n";
        appendMember(out, "id", std::to_string(task.id));
        appendMember(out, "name", quoted(task.name));
        appendMember(out, "url", quoted(task.url));
        appendMember(out, "md5", quoted(task.md5));
        appendMember(out, "size", std::to_string(task.size));
        appendMember(out, "received", std::to_string(task.received));
        appendMember(out, "state", std::to_string(task.state));
        appendMember(out, "partPath", quoted(task.partPath));
        appendMember(out, "finalPath", quoted(task.finalPath));
        appendMember(out, "isArchive", task.isArchive ? "true" : "false");
        appendMember(out, "md5Ok", task.md5Ok ? "true" : "false");
        appendMember(out, "validatorKind", quoted(validatorKindName(task.validatorKind)));
        appendMember(out, "validator", quoted(task.validator));
        appendMember(out, "spans", spansText(task.spans));
        appendMember(out, "error", quoted(task.error), true);
        out += "    }";
    }
    out += tasks.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

TaskListRead readTaskList(const std::string& bytes)
{
    const auto root = json::parse(bytes);
    if (!root) return rejected(TaskListProblem::NotJson, "not a JSON text");
    if (root->type != json::Type::Object) return rejected(TaskListProblem::BadLayout, "not a JSON object");

    const json::Value* version = root->get("version");
    if (!version || version->type != json::Type::Number)
        return rejected(TaskListProblem::BadLayout, "version: missing or not a number");
    if (version->number > static_cast<double>(kFileVersion))
        return rejected(TaskListProblem::NewerVersion, "version: " + std::to_string(version->asInt64(0)));
    if (version->number != static_cast<double>(kFileVersion))
        return rejected(TaskListProblem::BadLayout, "version: not a known version");

    const json::Value* list = root->get("tasks");
    if (!list || list->type != json::Type::Array)
        return rejected(TaskListProblem::BadLayout, "tasks: missing or not an array");

    TaskListRead result;
    std::set<int32_t> ids;
    for (size_t i = 0; i < list->array.size(); ++i) {
        const json::Value& object = *list->array[i];
        if (object.type != json::Type::Object)
            return rejected(TaskListProblem::BadLayout, "tasks[" + std::to_string(i) + "]: not an object");
        StoredTask task;
        if (!TaskReader(object, i, result).read(task)) return rejected(result.problem, result.detail);
        if (!ids.insert(task.id).second)
            return rejected(TaskListProblem::DuplicateId,
                            "tasks[" + std::to_string(i) + "].id: " + std::to_string(task.id) + " appears twice");
        result.tasks.push_back(std::move(task));
    }
    return result;
}

bool isStorable(const StoredTask& task)
{
    return readTaskList(taskListText({task})).ok();
}
