<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>kv770::ui::ConfigDialog</name>
    <message>
        <source>Backups (*.json);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(none)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read from gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare with file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write to gateway...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Register map...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing read or opened yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the system report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the report of meter %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled: nothing shown has changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading back...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The configuration could not be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read from the gateway (%1) at %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not taken: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verified: the gateway reports what was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 setting(s) did not take; see the messages.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: more than %2 bytes; no backup is that long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opened %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read the configuration from the gateway or open a file first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare with file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing %1 with the gateway...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 commands will be sent:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The RS-485 settings go last: if they change the line&apos;s speed or parity, the read-back needs the serial port reopened at the new settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send %1 commands</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Byte order</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Coefficient</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Register map of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export register map</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV (*.csv);;PDF (*.pdf);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the page could not be made</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Register map written to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Differs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>differs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 setting(s) differ between the file and the gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, edited</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not taken: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::Exchanger</name>
    <message>
        <source>No link to the gateway is open: open the serial port or connect over TCP on the System Parameter tab first.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::GatewayWindow</name>
    <message>
        <source>System Parameter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transparent Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS Parameter Configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wiring Diagram</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live Values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open configuration...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save configuration...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save &amp;traffic...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Read configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Compare with file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Write configuration...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Register &amp;map...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Traffic history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Manual</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About kv770-config</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save traffic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Traces (*.trace *.txt);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>kv770-config manual</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>kv770-config %1

Configures and tests KV770-W HART to MODBUS gateways.

Licence: GNU General Public License, version 3 or later.
Built with Qt %2 (Qt Base, Qt Serial Port, Qt Charts, LGPL-3 / GPL-3) and nlohmann-json (MIT).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the instrument&apos;s identity (HART command 0)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the dynamic variables (HART command 3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the reply to the HART command</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the gateway to take the setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the communication check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the system parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the meter&apos;s MODBUS parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the MODBUS reply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live Values is polling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>reading or writing the gateway&apos;s configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>waiting for %1, %2 s left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>last reply %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>logo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KV770-W Parameter Configuration Software</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send Buffer:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Receive Buffer:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear Buffer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the serial port was closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the TCP connection closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The gateway&apos;s configuration is being read or written: wait until it ends, or press Cancel in the Gateway configuration window.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live Values is running: press Stop on the Live Values tab before sending from another tab.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::LayerText</name>
    <message>
        <source>Connection timeout, please contact Velmora Electronics%1!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>parameter query timeout!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>set timeout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; is out of range (%2 to %3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 to 14 command bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NO SPACK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data eeore!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>input data without spaces</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>there are illegal characters, please re-enter!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error opening serial port
%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the port is busy (another program has it open)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1. The user must be a member of the group that owns the device (%2), for example: sudo usermod -aG %2 $USER, then log in again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This serial port already opened</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File handle is not a comm handle 
%1: not a serial device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(no port name)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create event</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create read thread</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create write thread</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>serial number %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, serial number %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Asynchronous socket error %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Windows socket error: %1 (%2), on API &apos;%3&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can&apos;t change value while socket is active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No address specified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a numeric IPv4 address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Broken pipe</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection reset by peer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad reply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>variable %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unit code %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer from the gateway to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>meter %1 does not exist: the gateway has meters 1 to 8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no meter is enabled in the gateway&apos;s MODBUS mapping: name the meters to watch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the gateway&apos;s slave address %1 does not fit a MODBUS frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no instrument answered on the channels watched</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>channel %1: command 3 unanswered; its units are not known yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>channel %1: command 3 not valid: %2; its units are not known yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>channel %1 left out: no instrument answered command 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>channel %1 left out: command 0 answered with no valid reply: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>channel %1 left out: the gateway did not answer its HCS command</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>communication error %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no HART reply in it (no FF 06 or FF 86)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>delimiter %1 where %2 answers the request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the reply ends before its byte count</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>byte count %1, but %2 bytes follow it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>check byte %1 where %2 was expected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>address %1 where %2 was sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>command %1 where command %2 was sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>byte count %1 leaves no room for the response code and device status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the instrument answered with response code %1 (%2) and no data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the instrument answered with response code %1 and no data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>byte count %1 is too short for command %2 (%3 at least)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>communication error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>invalid selection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>too few data bytes received</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device-specific command error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>access restricted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>busy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>command not implemented</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IEEE 754 float</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The gateway is in transparent mode: it presents these registers in MODBUS RTU mode only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The working mode is not set: it presents these registers in MODBUS RTU mode only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter %1 (custom meter): variable %2 not parsed from any reply; its registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter %1 (custom meter): variables %2 not parsed from any reply; their registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meters %1 (custom meters): variable %2 not parsed from any reply; its registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meters %1 (custom meters): variables %2 not parsed from any reply; their registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No meter is enabled: the registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter %1 disabled: the gateway does not poll it, so its registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meters %1 disabled: the gateway does not poll them, so their registers hold no value.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::LiveChart</name>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Legend: no line shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Legend: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::LiveTab</name>
    <message>
        <source>1 poll</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 polls</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer</source>
        <comment>the widest of the status words ok, no answer, bad reply</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meters:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset zoom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save CSV</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Chart of the live values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Each meter&apos;s values over the last minutes; drag a rectangle to zoom in. The legend below names the lines shown; the table beside it lists the latest values.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Latest values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One row per meter and quantity: value, unit, status and time of the latest poll. A row&apos;s check box shows or hides its line in the chart; the currents are shown at first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No link to the gateway is open: open the serial port or connect over TCP on the System Parameter tab, then press Start.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose at least one meter to watch, then press Start.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopped after %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> The gateway&apos;s HART address is left at %1: set it again on the Transparent Mode tab before asking an instrument there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the serial port is closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the TCP connection is closed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the gateway&apos;s configuration could not be read (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Live Values: the gateway&apos;s configuration could not be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ticked: drawn in the chart with this stroke (the meter&apos;s colour; the current solid, the variables dashed)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open a link on the System Parameter tab, then press Start to poll the gateway&apos;s values.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading the gateway&apos;s configuration...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identifying the instruments...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Polling every %1 ms: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> The gateway did not answer: no values for %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> %1 of %2 values missing in the last poll.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Left out: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There are no values to save yet: press Start and let a poll come.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The values could not be saved to %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::ModbusTab</name>
    <message>
        <source>0)Custom_Meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1)Currency_Meter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 Not analytic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 Command 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2 Command 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 byte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>8 byte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Secondary Master Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Master Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>polling set-up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter ID:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Instrument Type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preamble Length:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Buffer Clear Time:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current byte order</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Variable_%1(RTU_ADR)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 byte order</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>byte orders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Variable %1 Coefficient</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>coefficients</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Channel Test</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read Meter Command %1:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 Enable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address Bits:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Command Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Star_Adr</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data Length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Variable_%1:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom HART Command Parsing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom Data Parsing Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS_RTU parameters</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::ModbusTools</name>
    <message>
        <source>Modbus Communication Test</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS Slave Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS Start Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read Data Length:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS Comm Test</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IEE754 Calculation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data Format HEX(FF FF FF FF):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calculation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::StatusLine</name>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last reply</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::SystemTab</name>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Odd</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Even</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Ethernet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Communication Mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baud:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Internet Parameter Configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TCP connection state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway Parameter Query</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Target IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port Number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>RS485 Serial Port Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS_Slave_Adr:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Working Mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transparent Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MODBUS_RTU Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Meter Polling Interval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Communication Query</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parameter Initialization</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PCBSN:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>inspector:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connecting!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>already disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>connection failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>disconnected state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The serial device %1 is gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>open serial</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::TrafficPane</name>
    <message>
        <source>Traffic history:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Traffic history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::TransparentTab</name>
    <message>
        <source>Preamble Length:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Master Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Secondary Master Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART Command Mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART Device Basic Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manufacturing ID:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sensor type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preamble Byte Count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sensor Serial Number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART Device Parameter Query</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Universal HART Real-Time Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current_Variable_%1:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current_Variable_%1 Unit:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART Command Query</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manual HART Command:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(Auto Generated checksum)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>send</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv770::ui::WiringTab</name>
    <message>
        <source>MODBUS master</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>converter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HART / MODBUS gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power supply</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loop power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>up to 8 HART instruments in parallel (multidrop)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wiring Diagram</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KV770-W gateway: 24 V DC supply on +24V and 0V; RS-485 A and B to the PC through a USB-RS485 converter; HART+ and HART- across a loop with 24 V DC loop power, a 250 ohm resistor and up to eight HART instruments in parallel.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
