/* The stand-in for the outside search library of family-4 cameras.
 *
 * Built as libdvsnetclient.so and copied into the "909" folder beside the
 * program. It finds and configures the family-4 cameras of lan-sim over the
 * small UDP protocol that tools/lan-sim/README.md describes ("Family 4").
 * All three entry points are thread-safe. */
#ifndef DVSNETCLIENT_H
#define DVSNETCLIENT_H

#ifdef __cplusplus
extern "C" {
#endif

/* One camera found. Called on the library's own search thread, once per
 * camera and search; every pointer is valid only during the call. mac
 * points to six bytes; the texts are zero-terminated. */
typedef void (*DVSNET_SEARCH_CALLBACK)(const char *serial, const char *name, const char *version, const char *ip,
                                       const unsigned char *mac, int webPort, int dataPort, const char *mask,
                                       const char *gateway, const char *extraAddr, const char *dns, int extraPort,
                                       int extraValue, int dhcp, void *userData);

/* Starts a search in the background and returns at once: probes go out
 * (probes of them, 1 to 10, spread over the first part of the time) and the
 * answers are listened to for waitMs milliseconds (100 to 60000). port is
 * the cameras' UDP port, 0 for the usual 9909. A call while a search runs
 * starts it afresh with the new arguments. Returns 0, -1 for a missing
 * callback, -2 when no socket can be had. */
int DVSNET_SearchServers(int waitMs, int probes, DVSNET_SEARCH_CALLBACK callback, void *userData, int port);

/* Sends new settings to the camera with the given MAC and waits for its
 * answer (up to about 1.5 seconds). Returns 0 accepted, 1 no answer,
 * 2 login refused, 3 values refused, -1 invalid arguments, -2 no socket. */
int DVSNET_ConfigServer(const unsigned char *mac, const char *user, const char *password, const char *name,
                        const char *ip, int webPort, int dataPort, const char *mask, const char *gateway,
                        const char *extraAddr, const char *dns, int extraPort, int dhcp);

/* Ends a running search and waits until its thread is gone, so that the
 * library may be unloaded afterwards. From inside the callback it only asks
 * the search to end. Do not call it while a callback is blocked waiting for
 * the calling thread. Returns 0. */
int DVSNET_StopSearch(void);

#ifdef __cplusplus
}
#endif

#endif
