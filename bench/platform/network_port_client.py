#!/usr/bin/python3
# The comparison client of bench_network_port: a serial library's rfc2217:// client, run by
# the benchmark as "network_port_client.py URL echo|recv COUNT". It prints "ready" once open,
# echoes COUNT bytes or receives COUNT bytes, then prints "cpu SECONDS" (its process CPU for
# that part) and ends when its standard input does.
import sys
import time

import serial

url, mode, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
port = serial.serial_for_url(url, timeout=10)
# The open ends with a purge the server may carry out after bytes of the benchmark arrived; a
# setting waits for its answer, which comes after the purge was done.
port.baudrate = port.baudrate
print("ready", flush=True)
cpu0 = time.process_time()
if mode == "echo":
    for _ in range(count):
        b = port.read(1)
        if not b:
            sys.exit("echo: no byte")
        port.write(b)
else:
    got = 0
    while got < count:
        data = port.read(max(1, min(port.in_waiting, count - got)))
        if not data:
            sys.exit("recv: no bytes")
        got += len(data)
print("cpu %.6f" % (time.process_time() - cpu0), flush=True)
# Open until the benchmark is done with it: a close may drop the last echo on its way.
sys.stdin.read()
port.close()
