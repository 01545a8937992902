// The steps that the task listing and the task toggle share.
#include "../platform/last_error.h"
#include "../platform/com_policy.h"
#include "../platform/text.h"
#include "task_objects.h"

plat_task_service connect_task_service(bool say_no_object) {
    if (com_enter() != 0) {
        set_last_error("task: COM init failed");
        return nullptr;
    }
    plat_task_service service = nullptr;
    plat_hresult hr = plat_co_create_task_service(PLAT_CLSCTX_ALL, &service);
    if (PLAT_FAILED(hr)) {
        set_last_error("%s: HRESULT 0x%08x", "task: CoCreateInstance(TaskScheduler)", (unsigned)hr);
        return nullptr;
    }
    if (!service) {
        if (say_no_object) set_last_error("task: CoCreateInstance(TaskScheduler) gave no object");
        return nullptr;
    }

    // Empty server, user, domain and password: this machine, as the caller.
    plat_variant server, user, domain, password;
    plat_variant_init(&server);
    plat_variant_init(&user);
    plat_variant_init(&domain);
    plat_variant_init(&password);
    hr = plat_task_service_connect(service, &server, &user, &domain, &password);
    if (PLAT_FAILED(hr)) {
        set_last_error("%s: HRESULT 0x%08x", "task: ITaskService_Connect", (unsigned)hr);
        plat_task_service_release(service);
        return nullptr;
    }
    return service;
}

plat_task_folder open_root_folder(plat_task_service service) {
    folder_ref folder;
    plat_hresult hr = plat_task_service_get_folder(service, nullptr, folder.out());
    if (PLAT_FAILED(hr) || !folder) {
        set_last_error("task: enumerate failed (0x%08x) - Task Scheduler unavailable on this host",
                       (unsigned)hr);
        return nullptr;
    }
    return folder.take();
}

plat_hresult fetch_task(plat_task_collection tasks, int32_t index, plat_task *out) {
    plat_variant at;
    plat_variant_init(&at);
    at.vt = PLAT_VT_I4;
    at.int_value = index;
    return plat_task_collection_get_item(tasks, &at, out);
}

char *take_text(plat_bstr text) {
    if (!text) return dup_string("");
    char *utf8 = utf16_to_utf8(text);
    plat_sys_free_string(text);
    return utf8;
}
