// Walks Package/Applications/Application/Extensions/Extension by local
// names, so that every namespace prefix ("uap5:", "desktop:") is accepted.
// Only that fixed path is visited, without recursion, however deep the
// document nests.
#include "package_manifest.h"

#include <pugixml.hpp>

#include <cstring>

namespace {

// An element's name without its namespace prefix.
const char *local_name(const pugi::xml_node &node) {
    const char *name = node.name();
    const char *colon = strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(const pugi::xml_node &node, const char *name) {
    return node.type() == pugi::node_element && strcmp(local_name(node), name) == 0;
}

// The first child element of this local name; an empty node when none.
pugi::xml_node child(const pugi::xml_node &parent, const char *name) {
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (is(n, name)) return n;
    return pugi::xml_node();
}

// An attribute by its local name, so "uap:TaskId" is TaskId too.
const char *attribute(const pugi::xml_node &node, const char *name) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char *n = a.name();
        const char *colon = strrchr(n, ':');
        if (strcmp(colon ? colon + 1 : n, name) == 0) return a.value();
    }
    return "";
}

// Strict UTF-8: pugixml passes undecodable bytes through, and one such
// text would make the whole listing unwritable.
bool is_utf8(const char *text) {
    const unsigned char *p = (const unsigned char *)text;
    while (*p) {
        unsigned c = *p, n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (n == 4 || (n == 1 && c < 0xC2)) return false;
        unsigned code = n ? c & (0x3F >> n) : c;
        for (unsigned i = 1; i <= n; i++) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = code << 6 | (p[i] & 0x3F);
        }
        if ((n == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (n == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        p += n + 1;
    }
    return true;
}

bool is_true(const char *text) { return strcmp(text, "true") == 0 || strcmp(text, "1") == 0; }

// A task found, checked; false when its texts are not UTF-8.
bool read_extension(const pugi::xml_node &extension, const char *app_executable, manifest_task *t) {
    if (strcmp(attribute(extension, "Category"), "windows.startupTask") != 0) return true;
    pugi::xml_node task = child(extension, "StartupTask");
    if (!task) return true;
    t->task_id = attribute(task, "TaskId");
    t->display_name = attribute(task, "DisplayName");
    t->executable = attribute(extension, "Executable");
    if (!*t->executable) t->executable = app_executable;
    t->enabled = is_true(attribute(task, "Enabled"));
    return is_utf8(t->task_id) && is_utf8(t->display_name) && is_utf8(t->executable);
}

}  // namespace

const char *read_package_manifest(char *bytes, size_t size, manifest_task_visitor visit, void *context) {
    if (size > PACKAGE_MANIFEST_MAX_BYTES) return "manifest too large";
    pugi::xml_document doc;
    // The defaults without parse_doctype: a DTD is skipped and never used.
    pugi::xml_parse_result parsed = doc.load_buffer_inplace(bytes, size, pugi::parse_default, pugi::encoding_auto);
    if (parsed.status == pugi::status_out_of_memory) return "out of memory";
    if (!parsed) return "manifest is not well-formed XML";
    pugi::xml_node package = doc.document_element();
    if (!is(package, "Package")) return "manifest has no Package element";

    pugi::xml_node props = child(package, "Properties");
    manifest_properties properties = {child(props, "DisplayName").child_value(),
                                      child(props, "PublisherDisplayName").child_value()};
    const char *not_utf8 = "manifest text is not UTF-8";
    if (!is_utf8(properties.display_name) || !is_utf8(properties.publisher)) return not_utf8;
    // Every task is checked before the first is visited: a refused
    // manifest contributes nothing.
    pugi::xml_node apps = child(package, "Applications");
    for (int pass = 0; pass < 2; pass++) {
        for (pugi::xml_node app = apps.first_child(); app; app = app.next_sibling()) {
            if (!is(app, "Application")) continue;
            const char *app_executable = attribute(app, "Executable");
            pugi::xml_node extensions = child(app, "Extensions");
            for (pugi::xml_node ext = extensions.first_child(); ext; ext = ext.next_sibling()) {
                manifest_task t = {"", "", "", false};
                if (!is(ext, "Extension")) continue;
                if (!read_extension(ext, app_executable, &t)) return not_utf8;
                if (pass == 1 && *t.task_id && *t.executable) visit(context, &properties, &t);
            }
        }
    }
    return nullptr;
}
