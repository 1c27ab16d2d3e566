// One application record from JSON, and the texts derived from its fields.

#include "core/text.h"
#include "net/catalog.h"

AppInfo::~AppInfo()
{
    if (iconBitmap) DeleteObject(iconBitmap);
}

namespace {

std::wstring wideField(const json::Value& object, const char* key)
{
    const json::Value* v = object.get(key);
    return v ? utf8ToWide(v->asString("")) : std::wstring();
}

int64_t int64Field(const json::Value& object, const char* key)
{
    const json::Value* v = object.get(key);
    return v ? v->asInt64(0) : 0;
}

std::vector<std::wstring> categoryIdsOf(const json::Value& object)
{
    std::vector<std::wstring> ids;
    if (const json::Value* list = object.get("categoryIds")) {
        if (list->type == json::Type::Array) {
            for (const auto& element : list->array) {
                if (!element) continue;
                std::wstring id = utf8ToWide(element->asString(""));
                if (!id.empty()) ids.push_back(std::move(id));
            }
        }
    }
    if (ids.empty()) {
        std::wstring id = wideField(object, "categoryId");
        if (!id.empty()) ids.push_back(std::move(id));
    }
    return ids;
}

}  // namespace

std::shared_ptr<AppInfo> parseAppInfo(const json::Value& value)
{
    auto app = std::make_shared<AppInfo>();
    if (const json::Value* id = value.get("id")) app->id = id->asInt(0);
    app->name = wideField(value, "name");
    app->version = normalizeVersion(wideField(value, "version"));
    app->categoryIds = categoryIdsOf(value);
    app->description = wideField(value, "description");
    app->icon = wideField(value, "icon");
    app->packageSize = int64Field(value, "packageSize");
    if (const json::Value* md5 = value.get("md5")) app->md5 = md5->asString("");
    if (const json::Value* hasPackage = value.get("hasPackage")) app->hasPackage = hasPackage->asBool(false);
    app->downloads = int64Field(value, "downloads");
    app->updatedAt = int64Field(value, "updatedAt");
    return app;
}

std::string buildDownloadUrl(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel)
{
    return wideToUtf8(serverUrl) + "/api/client/download/" + std::to_string(appId) +
           "?channel=" + percentEncode(wideToUtf8(channel), false);
}
