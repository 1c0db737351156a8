// A Wayland server offering wl_compositor and wl_shm but no layer shell, as GNOME's compositor
// does; it serves on socket $1 in $XDG_RUNTIME_DIR until killed.
#include <wayland-server-core.h>
#include <wayland-server-protocol.h>

#include <cstdint>
#include <cstdio>

namespace {

void bindCompositor(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  // Never asked for anything: a client that finds no layer shell leaves at once.
  wl_resource_create(client, &wl_compositor_interface, static_cast<int>(version), id);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: bare_compositor SOCKET-NAME\n", stderr);
    return 2;
  }
  wl_display* display = wl_display_create();
  if (!display || wl_display_add_socket(display, argv[1]) != 0) {
    std::fputs("bare_compositor: cannot listen\n", stderr);
    return 1;
  }
  wl_global_create(display, &wl_compositor_interface, 4, nullptr, bindCompositor);
  wl_display_init_shm(display);
  wl_display_run(display);
  wl_display_destroy(display);
}
