#include "support/watchdog.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "common/scoped_win.h"

namespace {

// Every program this one starts, and the programs they start, join this job;
// closing its last handle, as the end of this process does, ends them all,
// so no program a test started outlives it holding ctest's output open.
HANDLE g_job = nullptr;

}  // namespace

void HoldStartedPrograms() {
  g_job = CreateJobObjectW(nullptr, nullptr);
  if (g_job == nullptr) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(g_job, GetCurrentProcess())) {
    CloseHandle(g_job);
    g_job = nullptr;
  }
}

void EndWithStartedPrograms(int code) {
  // The others first, one by one: a process the job ends exits with 0 under
  // Wine, and this one must say that it failed.
  if (g_job != nullptr) {
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 1024 * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    if (QueryInformationJobObject(g_job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()),
                                  nullptr)) {
      for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        auto id = static_cast<DWORD>(list->ProcessIdList[i]);
        if (id == GetCurrentProcessId()) continue;
        ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (process) TerminateProcess(process.Get(), static_cast<UINT>(code));
      }
    }
  }
  std::_Exit(code);
}
