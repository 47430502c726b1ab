#include "sntp/network_probe.h"

// The IP Helper's types come with Winsock 2's; this file alone uses them.
#include <winsock2.h>
#include <iphlpapi.h>

#include "base/system_library.h"

namespace {

// The IP Helper is no known DLL: loaded from the system folder only, once.
typedef ULONG(WINAPI* GetAdaptersAddressesFn)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
typedef DWORD(WINAPI* GetBestRouteFn)(DWORD, DWORD, PMIB_IPFORWARDROW);

template <typename Fn>
Fn IpHelper(const char* szName)
{
    return (Fn)(void*)SystemFunction(L"iphlpapi.dll", szName);
}

// Room for the adapters of a busy machine, without a heap allocation.
alignas(8) unsigned char abAdapters[32 * 1024];

enum GatewayAnswer { GATEWAY_FOUND, GATEWAY_NONE, GATEWAY_UNKNOWN };

GatewayAnswer FindGateway()
{
    const ULONG kFlags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                         GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
    ULONG cbAdapters = sizeof abAdapters;
    PIP_ADAPTER_ADDRESSES adapters = (PIP_ADAPTER_ADDRESSES)abAdapters;
    static const GetAdaptersAddressesFn pfnGetAdaptersAddresses =
        IpHelper<GetAdaptersAddressesFn>("GetAdaptersAddresses");
    if (pfnGetAdaptersAddresses == NULL) return GATEWAY_UNKNOWN;
    ULONG nResult = pfnGetAdaptersAddresses(AF_UNSPEC, kFlags, NULL, adapters, &cbAdapters);
    if (nResult == ERROR_NO_DATA) return GATEWAY_NONE;
    if (nResult != NO_ERROR) return GATEWAY_UNKNOWN;
    for (PIP_ADAPTER_ADDRESSES a = adapters; a != NULL; a = a->Next) {
        bool fUsable = a->OperStatus == IfOperStatusUp && a->IfType != IF_TYPE_SOFTWARE_LOOPBACK;
        if (fUsable && a->FirstGatewayAddress != NULL) return GATEWAY_FOUND;
    }
    return GATEWAY_NONE;
}

// Whether the routing table has a route to the address (network order): it
// is read, nothing is sent. Wine's table lists no route to loopback, which
// needs none.
NetworkState RouteTo(DWORD dwAddress)
{
    if ((dwAddress & 0xFF) == 127) return NETWORK_UP;  // 127.0.0.0/8
    static const GetBestRouteFn pfnGetBestRoute = IpHelper<GetBestRouteFn>("GetBestRoute");
    if (pfnGetBestRoute == NULL) return NETWORK_UNKNOWN;
    MIB_IPFORWARDROW route;
    DWORD nResult = pfnGetBestRoute(dwAddress, 0, &route);
    if (nResult == NO_ERROR) return NETWORK_UP;
    return nResult == ERROR_NOT_SUPPORTED || nResult == ERROR_CAN_NOT_COMPLETE ? NETWORK_UNKNOWN : NETWORK_DOWN;
}

// A route to a public address (a.root-servers.net's).
bool HasPublicRoute()
{
    const DWORD kPublicAddress = 4u << 24 | 0u << 16 | 41u << 8 | 198u;  // 198.41.0.4, in network order
    return RouteTo(kPublicAddress) == NETWORK_UP;
}

}  // namespace

NetworkState ProbeNetwork(uint32_t dwServerAddress)
{
    if (dwServerAddress != 0) return RouteTo(dwServerAddress);
    GatewayAnswer gateway = FindGateway();
    if (gateway == GATEWAY_FOUND || HasPublicRoute()) return NETWORK_UP;
    return gateway == GATEWAY_NONE ? NETWORK_DOWN : NETWORK_UNKNOWN;
}

NetworkState (*networkProbe)(uint32_t dwServerAddress) = ProbeNetwork;
