// Shared pieces of the scheduled-task provider: scoped ownership of Task
// Scheduler objects and texts, and the steps that the listing and the
// toggle make alike (connecting, the root folder, fetching a task).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "../platform/platform_tasks.h"

// Releases a Task Scheduler object when the step that obtained it ends.
template <typename H, void (*Release)(H)>
class held {
  public:
    held() = default;
    explicit held(H h) : h_(h) {}
    ~held() {
        if (h_) Release(h_);
    }
    held(const held &) = delete;
    held &operator=(const held &) = delete;

    H *out() { return &h_; }  // for a getter; pre-set to null
    H get() const { return h_; }
    H take() {  // hands the object on, unreleased
        H h = h_;
        h_ = nullptr;
        return h;
    }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    H h_ = nullptr;
};

using service_ref = held<plat_task_service, plat_task_service_release>;
using folder_ref = held<plat_task_folder, plat_task_folder_release>;
using task_list_ref = held<plat_task_collection, plat_task_collection_release>;
using task_ref = held<plat_task, plat_task_release>;
using definition_ref = held<plat_task_definition, plat_task_definition_release>;
using trigger_list_ref = held<plat_trigger_collection, plat_trigger_collection_release>;
using trigger_ref = held<plat_trigger, plat_trigger_release>;
using action_list_ref = held<plat_action_collection, plat_action_collection_release>;
using action_ref = held<plat_action, plat_action_release>;
using exec_ref = held<plat_exec_action, plat_exec_action_release>;

// A converted text, freed when it goes out of scope.
class owned_text {
  public:
    explicit owned_text(char *p) : p_(p) {}
    ~owned_text() { free(p_); }
    owned_text(const owned_text &) = delete;
    owned_text &operator=(const owned_text &) = delete;

    char *get() const { return p_; }
    // What the entry shows: text that could not be converted reads as "".
    const char *or_empty() const { return p_ ? p_ : ""; }
    bool empty() const { return !p_ || !p_[0]; }

  private:
    char *p_;
};

// Enters COM and connects to the local Task Scheduler: the service, or null
// with the reason recorded. A service created without an object is recorded
// only when `say_no_object` is set (the toggle; the listing stays silent).
// Never leaves COM: its callers do, whatever the outcome.
plat_task_service connect_task_service(bool say_no_object);

// The root task folder, or null with "task: enumerate failed ..." recorded.
plat_task_folder open_root_folder(plat_task_service service);

// Item `index` (1-based) of a task collection, asked for with a VT_I4 VARIANT.
plat_hresult fetch_task(plat_task_collection tasks, int32_t index, plat_task *out);

// A BSTR getter's text as new UTF-8: "" when it gave none, null only when
// memory ran out. The getter's result is not looked at.
template <typename H>
char *read_text(plat_hresult (*get)(H, plat_bstr *), H handle);
char *take_text(plat_bstr text);

template <typename H>
char *read_text(plat_hresult (*get)(H, plat_bstr *), H handle) {
    plat_bstr text = nullptr;
    get(handle, &text);
    return take_text(text);
}
