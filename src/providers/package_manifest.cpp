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

bool is_true(const char *text) { return strcmp(text, "true") == 0 || strcmp(text, "1") == 0; }

void visit_extension(const pugi::xml_node &extension, const char *app_executable,
                     const manifest_properties *properties, manifest_task_visitor visit, void *context) {
    if (strcmp(attribute(extension, "Category"), "windows.startupTask") != 0) return;
    pugi::xml_node task = child(extension, "StartupTask");
    if (!task) return;
    manifest_task t;
    t.task_id = attribute(task, "TaskId");
    t.display_name = attribute(task, "DisplayName");
    t.executable = attribute(extension, "Executable");
    if (!*t.executable) t.executable = app_executable;
    t.enabled = is_true(attribute(task, "Enabled"));
    if (!*t.task_id || !*t.executable) return;
    visit(context, properties, &t);
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
    pugi::xml_node apps = child(package, "Applications");
    for (pugi::xml_node app = apps.first_child(); app; app = app.next_sibling()) {
        if (!is(app, "Application")) continue;
        const char *app_executable = attribute(app, "Executable");
        pugi::xml_node extensions = child(app, "Extensions");
        for (pugi::xml_node ext = extensions.first_child(); ext; ext = ext.next_sibling())
            if (is(ext, "Extension")) visit_extension(ext, app_executable, &properties, visit, context);
    }
    return nullptr;
}
