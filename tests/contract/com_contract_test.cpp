// The COM operations' answers: entering and leaving apartments, the Shell
// Link reading saved shortcuts, and the Task Scheduler as far as Wine's own
// answers it (it stubs the task collection's count and every trigger and
// action list, so those calls are not compared here; nor are folders with
// tasks or hidden tasks, which need a countable task list, only the fresh
// root's empty list of subfolders; the end-to-end tests
// drive the library through them over a scripted scheduler in the prefix).
#include <thread>

#include "contract/contract.h"
#include "platform/platform_com.h"
#include "platform/platform_shell_link.h"
#include "platform/platform_tasks.h"

namespace {

using ContractCom = ContractTest;

// Runs `body` on a thread of its own, which starts without COM.
template <typename F>
void on_new_thread(F body) {
    std::thread t(body);
    t.join();
}

}  // namespace

TEST_F(ContractCom, ApartmentsPerThread) {
    on_new_thread([] {
        EXPECT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
        EXPECT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_FALSE);
        EXPECT_EQ(plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED), PLAT_RPC_E_CHANGED_MODE);
        on_new_thread([] {
            EXPECT_EQ(plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED), PLAT_S_OK);
            plat_co_uninitialize();
        });
        plat_co_uninitialize();
        plat_co_uninitialize();
        // Left completely: the other model is taken.
        EXPECT_EQ(plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED), PLAT_S_OK);
        plat_co_uninitialize();
    });
}

TEST_F(ContractCom, ShellLinkReadsSavedShortcuts) {
    ASSERT_TRUE(add_shortcut(u"a.lnk", u"C:\\windows\\system32\\notepad.exe", u"/p \"x y\""));
    ASSERT_TRUE(add_file(u"text.lnk"));
    on_new_thread([this] {
        plat_shell_link link = (plat_shell_link)1;
        EXPECT_EQ(plat_create_shell_link(&link), PLAT_CO_E_NOTINITIALIZED);
        EXPECT_EQ(link, nullptr);
        ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
        ASSERT_EQ(plat_create_shell_link(&link), PLAT_S_OK);
        plat_persist_file file = nullptr;
        ASSERT_EQ(plat_shell_link_query_persist_file(link, &file), PLAT_S_OK);
        // Nothing loaded: no path.
        char16_t text[64] = {u'x'};
        EXPECT_EQ(plat_shell_link_get_path(link, text, 64, PLAT_SLGP_DEFAULT), PLAT_S_FALSE);
        EXPECT_EQ(text[0], u'\0');

        EXPECT_EQ(plat_persist_file_load(file, path(u"none.lnk").c_str(), PLAT_STGM_READ), (plat_hresult)0x80070002);
        EXPECT_EQ(plat_persist_file_load(file, path(u"none\\a.lnk").c_str(), PLAT_STGM_READ),
                  (plat_hresult)0x80070003);
        EXPECT_TRUE(PLAT_FAILED(plat_persist_file_load(file, path(u"text.lnk").c_str(), PLAT_STGM_READ)));
        ASSERT_EQ(plat_persist_file_load(file, path(u"a.lnk").c_str(), PLAT_STGM_READ), PLAT_S_OK);
        EXPECT_EQ(plat_shell_link_get_path(link, text, 64, PLAT_SLGP_DEFAULT), PLAT_S_OK);
        EXPECT_EQ(std::u16string(text), u"C:\\windows\\system32\\notepad.exe");
        EXPECT_EQ(plat_shell_link_get_path(link, text, 8, PLAT_SLGP_DEFAULT), PLAT_S_OK);
        EXPECT_EQ(std::u16string(text), u"C:\\wind") << "cut to the capacity";
        EXPECT_EQ(plat_shell_link_get_arguments(link, text, 64), PLAT_S_OK);
        EXPECT_EQ(std::u16string(text), u"/p \"x y\"");
        plat_persist_file_release(file);
        plat_shell_link_release(link);
        plat_co_uninitialize();
    });
}

TEST_F(ContractCom, TaskSchedulerConnectsAndOpensTheRootFolder) {
    on_new_thread([] {
        plat_task_service service = nullptr;
        EXPECT_EQ(plat_co_create_task_service(PLAT_CLSCTX_ALL, &service), PLAT_CO_E_NOTINITIALIZED);
        ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED), PLAT_S_OK);
        ASSERT_EQ(plat_co_create_task_service(PLAT_CLSCTX_ALL, &service), PLAT_S_OK);
        plat_task_folder folder = nullptr;
        EXPECT_EQ(plat_task_service_get_folder(service, u"\\", &folder), PLAT_E_NOT_CONNECTED);
        plat_variant empty;
        plat_variant_init(&empty);
        EXPECT_EQ(empty.vt, PLAT_VT_EMPTY);
        ASSERT_EQ(plat_task_service_connect(service, &empty, &empty, &empty, &empty), PLAT_S_OK);
        ASSERT_EQ(plat_task_service_get_folder(service, u"\\", &folder), PLAT_S_OK);
        plat_task_collection tasks = nullptr;
        EXPECT_EQ(plat_task_folder_get_tasks(folder, PLAT_TASK_ENUM_HIDDEN, &tasks), PLAT_S_OK);
        EXPECT_NE(tasks, nullptr);
        plat_bstr path = nullptr;
        EXPECT_EQ(plat_task_folder_get_path(folder, &path), PLAT_S_OK);
        EXPECT_EQ(std::u16string(path ? path : u"<null>"), u"\\");
        plat_sys_free_string(path);
        // A fresh prefix's root has no subfolders; an index past the end
        // gives nothing.
        {
            plat_folder_collection folders = nullptr;
            ASSERT_EQ(plat_task_folder_get_folders(folder, 0, &folders), PLAT_S_OK);
            ASSERT_NE(folders, nullptr);
            int32_t count = -1;
            EXPECT_EQ(plat_folder_collection_get_count(folders, &count), PLAT_S_OK);
            EXPECT_EQ(count, 0);
            plat_variant at;
            plat_variant_init(&at);
            at.vt = PLAT_VT_I4;
            at.int_value = 1;
            plat_task_folder sub = nullptr;
            EXPECT_EQ(plat_folder_collection_get_item(folders, &at, &sub), PLAT_E_INVALIDARG);
            EXPECT_EQ(sub, nullptr);
            plat_folder_collection_release(folders);
        }
        plat_sys_free_string(nullptr);
        plat_task_collection_release(tasks);
        plat_task_folder_release(folder);
        plat_task_service_release(service);
        plat_co_uninitialize();
    });
}
