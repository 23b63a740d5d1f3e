// Registration scripts: the class keys under HKEY_CLASSES_ROOT.
#include "codepage.h"
#include "com.h"
#include "registry.h"

namespace tavc::com {
namespace {

using registry::Hive;

std::string replace_module(std::string_view data, std::string_view module_gbk) {
    static constexpr std::string_view kModule = "%MODULE%";
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = data.find(kModule, pos);
        out.append(data.substr(pos, hit == std::string_view::npos ? std::string_view::npos : hit - pos));
        if (hit == std::string_view::npos) return out;
        out.append(module_gbk);
        pos = hit + kModule.size();
    }
}

}  // namespace

HResult apply_registry_script(RegistryScript script, bool registering, std::string_view module_path) {
    bool ok = true;
    if (!registering) {
        for (const ScriptKey& key : script)
            if (key.rule != KeyRule::NoRemove)
                ok = registry::delete_key_tree(Hive::ClassesRoot, key.path) && ok;
        return ok ? kOk : kRegistryWriteFailed;
    }
    std::string module_gbk = codepage::gbk_from_utf8(module_path);
    for (const ScriptKey& key : script) {
        if (key.rule == KeyRule::ForceRemove)
            ok = registry::delete_key_tree(Hive::ClassesRoot, key.path) && ok;
        auto opened = registry::Key::open(Hive::ClassesRoot, key.path, true);
        if (!opened) {
            ok = false;
            continue;
        }
        for (const ScriptValue& value : key.values)
            ok = opened->write_string(value.name, replace_module(value.data, module_gbk)) && ok;
    }
    return ok ? kOk : kRegistryWriteFailed;
}

}  // namespace tavc::com
