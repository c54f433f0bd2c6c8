#!/bin/sh
# Runs a command in the private namespace of scripts/netns-run --veth (v0 10.77.0.1/24 with the
# default route) after adding a second adapter w0 10.88.0.1/24 without a route of its own
# beyond its subnet, and an adapter d0 that has an address but stays down.
set -e
ip link add w0 type veth peer name w1
ip addr add 10.88.0.1/24 dev w0
ip link set w1 up
ip link set w0 up
ip link add d0 type veth peer name d1
ip addr add 10.99.0.1/24 dev d0
exec "$@"
