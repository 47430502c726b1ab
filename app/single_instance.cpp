#include "app/single_instance.h"

namespace {

const char kCaption[] = "Tamarin Time";
const char kInstanceMutex[] = "Local\\Halden Works Tamarin Time";

}  // namespace

const InstanceCalls realInstanceCalls = {CreateMutexA, CloseHandle, MessageBoxA};

InstanceCalls instanceCalls = realInstanceCalls;

bool TakeInstanceMutex(HANDLE* phMutex)
{
    SetLastError(ERROR_SUCCESS);
    *phMutex = instanceCalls.CreateMutexA(NULL, FALSE, kInstanceMutex);
    DWORD dwError = GetLastError();
    if (dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_ACCESS_DENIED) return true;
    if (*phMutex != NULL) instanceCalls.CloseHandle(*phMutex);
    instanceCalls.MessageBoxA(NULL, "２つ以上同時に起動することはできません。", kCaption, MB_ICONINFORMATION);
    return false;
}
