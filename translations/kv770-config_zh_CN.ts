<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>kv770::ui::ConfigDialog</name>
    <message>
        <source>Backups (*.json);;All files (*)</source>
        <translation>备份文件 (*.json);;所有文件 (*)</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>（无）</translation>
    </message>
    <message>
        <source>Gateway configuration</source>
        <translation>网关配置</translation>
    </message>
    <message>
        <source>Read from gateway</source>
        <translation>从网关读取</translation>
    </message>
    <message>
        <source>Open...</source>
        <translation>打开...</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>保存...</translation>
    </message>
    <message>
        <source>Compare with file...</source>
        <translation>与文件比较...</translation>
    </message>
    <message>
        <source>Write to gateway...</source>
        <translation>写入网关...</translation>
    </message>
    <message>
        <source>Register map...</source>
        <translation>寄存器映射表...</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Nothing read or opened yet.</source>
        <translation>尚未读取或打开任何配置。</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置项</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>消息</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>the system report</source>
        <translation>系统参数报告</translation>
    </message>
    <message>
        <source>the report of meter %1</source>
        <translation>仪表 %1 的报告</translation>
    </message>
    <message>
        <source>no answer to %1</source>
        <translation>%1无应答</translation>
    </message>
    <message>
        <source>Cancelled: nothing shown has changed.</source>
        <translation>已取消：显示的内容没有改变。</translation>
    </message>
    <message>
        <source>Reading back...</source>
        <translation>正在回读...</translation>
    </message>
    <message>
        <source>The configuration could not be read: %1</source>
        <translation>无法读取配置：%1</translation>
    </message>
    <message>
        <source>; </source>
        <translation>；</translation>
    </message>
    <message>
        <source>Read from the gateway (%1) at %2</source>
        <translation>%2 从网关（%1）读取</translation>
    </message>
    <message>
        <source>not taken: %1</source>
        <translation>未生效：%1</translation>
    </message>
    <message>
        <source>Verified: the gateway reports what was written.</source>
        <translation>已校验：网关报告的参数与写入的一致。</translation>
    </message>
    <message>
        <source>%1 setting(s) did not take; see the messages.</source>
        <translation>%1 项设置未生效，请查看消息。</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>%1: more than %2 bytes; no backup is that long</source>
        <translation>%1：超过 %2 字节，备份文件不会这么长</translation>
    </message>
    <message>
        <source>Open configuration</source>
        <translation>打开配置</translation>
    </message>
    <message>
        <source>Opened %1</source>
        <translation>已打开 %1</translation>
    </message>
    <message>
        <source>Read the configuration from the gateway or open a file first.</source>
        <translation>请先从网关读取配置或打开配置文件。</translation>
    </message>
    <message>
        <source>Save configuration</source>
        <translation>保存配置</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>已保存到 %1</translation>
    </message>
    <message>
        <source>Compare with file</source>
        <translation>与文件比较</translation>
    </message>
    <message>
        <source>Comparing %1 with the gateway...</source>
        <translation>正在将 %1 与网关比较...</translation>
    </message>
    <message>
        <source>%1 commands will be sent:</source>
        <translation>将发送 %1 条命令：</translation>
    </message>
    <message>
        <source>The RS-485 settings go last: if they change the line&apos;s speed or parity, the read-back needs the serial port reopened at the new settings.</source>
        <translation>RS-485 设置最后发送：如果它们改变了线路的波特率或校验，回读之前需要按新设置重新打开串口。</translation>
    </message>
    <message>
        <source>Send %1 commands</source>
        <translation>发送 %1 条命令</translation>
    </message>
    <message>
        <source>Registers</source>
        <translation>寄存器</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>仪表</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>物理量</translation>
    </message>
    <message>
        <source>Data type</source>
        <translation>数据类型</translation>
    </message>
    <message>
        <source>Byte order</source>
        <translation>字节序</translation>
    </message>
    <message>
        <source>Coefficient</source>
        <translation>系数</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Register map of %1</source>
        <translation>%1 的寄存器映射表</translation>
    </message>
    <message>
        <source>Export register map</source>
        <translation>导出寄存器映射表</translation>
    </message>
    <message>
        <source>CSV (*.csv);;PDF (*.pdf);;All files (*)</source>
        <translation>CSV (*.csv);;PDF (*.pdf);;所有文件 (*)</translation>
    </message>
    <message>
        <source>the page could not be made</source>
        <translation>无法生成页面</translation>
    </message>
    <message>
        <source>Register map written to %1</source>
        <translation>寄存器映射表已写入 %1</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置项</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>网关</translation>
    </message>
    <message>
        <source>Differs</source>
        <translation>不同</translation>
    </message>
    <message>
        <source>differs</source>
        <translation>不同</translation>
    </message>
    <message>
        <source>%1 setting(s) differ between the file and the gateway</source>
        <translation>文件与网关之间有 %1 项设置不同</translation>
    </message>
    <message>
        <source>, edited</source>
        <translation>，已编辑</translation>
    </message>
    <message>
        <source>Not taken: %1</source>
        <translation>未采用：%1</translation>
    </message>
</context>
<context>
    <name>kv770::ui::Exchanger</name>
    <message>
        <source>No link to the gateway is open: open the serial port or connect over TCP on the System Parameter tab first.</source>
        <translation>未打开到网关的链路：请先在“系统参数”页打开串口或建立 TCP 连接。</translation>
    </message>
</context>
<context>
    <name>kv770::ui::GatewayWindow</name>
    <message>
        <source>System Parameter</source>
        <translation>系统参数</translation>
    </message>
    <message>
        <source>Transparent Mode</source>
        <translation>透明模式</translation>
    </message>
    <message>
        <source>MODBUS Parameter Configuration</source>
        <translation>MODBUS 参数配置</translation>
    </message>
    <message>
        <source>Wiring Diagram</source>
        <translation>接线图</translation>
    </message>
    <message>
        <source>Live Values</source>
        <translation>实时数据</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open configuration...</source>
        <translation>打开配置(&amp;O)...</translation>
    </message>
    <message>
        <source>&amp;Save configuration...</source>
        <translation>保存配置(&amp;S)...</translation>
    </message>
    <message>
        <source>Save &amp;traffic...</source>
        <translation>保存通信记录(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Gateway</source>
        <translation>网关(&amp;G)</translation>
    </message>
    <message>
        <source>&amp;Read configuration</source>
        <translation>读取配置(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Compare with file...</source>
        <translation>与文件比较(&amp;C)...</translation>
    </message>
    <message>
        <source>&amp;Write configuration...</source>
        <translation>写入配置(&amp;W)...</translation>
    </message>
    <message>
        <source>Register &amp;map...</source>
        <translation>寄存器映射表(&amp;M)...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Traffic history</source>
        <translation>通信记录(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Manual</source>
        <translation>使用手册(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;About kv770-config</source>
        <translation>关于 kv770-config(&amp;A)</translation>
    </message>
    <message>
        <source>Save traffic</source>
        <translation>保存通信记录</translation>
    </message>
    <message>
        <source>Traces (*.trace *.txt);;All files (*)</source>
        <translation>通信记录 (*.trace *.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>kv770-config manual</source>
        <translation>kv770-config 使用手册</translation>
    </message>
    <message>
        <source>kv770-config %1

Configures and tests KV770-W HART to MODBUS gateways.

Licence: GNU General Public License, version 3 or later.
Built with Qt %2 (Qt Base, Qt Serial Port, Qt Charts, LGPL-3 / GPL-3) and nlohmann-json (MIT).</source>
        <translation>kv770-config %1

配置和测试 KV770-W HART 转 MODBUS 网关。

许可证：GNU 通用公共许可证第 3 版或更高版本。
使用 Qt %2（Qt Base、Qt Serial Port、Qt Charts，LGPL-3 / GPL-3）和 nlohmann-json（MIT）构建。</translation>
    </message>
    <message>
        <source>the instrument&apos;s identity (HART command 0)</source>
        <translation>仪表标识（HART 命令 0）</translation>
    </message>
    <message>
        <source>the dynamic variables (HART command 3)</source>
        <translation>动态变量（HART 命令 3）</translation>
    </message>
    <message>
        <source>the reply to the HART command</source>
        <translation>HART 命令的应答</translation>
    </message>
    <message>
        <source>the gateway to take the setting</source>
        <translation>网关接受设置</translation>
    </message>
    <message>
        <source>the communication check</source>
        <translation>通信查询的应答</translation>
    </message>
    <message>
        <source>the system parameters</source>
        <translation>系统参数</translation>
    </message>
    <message>
        <source>the meter&apos;s MODBUS parameters</source>
        <translation>仪表的 MODBUS 参数</translation>
    </message>
    <message>
        <source>the MODBUS reply</source>
        <translation>MODBUS 应答</translation>
    </message>
    <message>
        <source>Live Values is polling</source>
        <translation>实时数据正在轮询</translation>
    </message>
    <message>
        <source>reading or writing the gateway&apos;s configuration</source>
        <translation>正在读取或写入网关配置</translation>
    </message>
    <message>
        <source>waiting for %1, %2 s left</source>
        <translation>正在等待%1，还剩 %2 s</translation>
    </message>
    <message>
        <source>an answer</source>
        <translation>应答</translation>
    </message>
    <message>
        <source>last reply %1</source>
        <translation>上次应答 %1</translation>
    </message>
    <message>
        <source>logo</source>
        <translation>标志</translation>
    </message>
    <message>
        <source>KV770-W Parameter Configuration Software</source>
        <translation>KV770-W 参数配置软件</translation>
    </message>
    <message>
        <source>Send Buffer:</source>
        <translation>发送缓冲区：</translation>
    </message>
    <message>
        <source>Receive Buffer:</source>
        <translation>接收缓冲区：</translation>
    </message>
    <message>
        <source>Clear Buffer</source>
        <translation>清空缓冲区</translation>
    </message>
    <message>
        <source>the serial port was closed</source>
        <translation>串口已关闭</translation>
    </message>
    <message>
        <source>the TCP connection closed</source>
        <translation>TCP 连接已断开</translation>
    </message>
    <message>
        <source>The gateway&apos;s configuration is being read or written: wait until it ends, or press Cancel in the Gateway configuration window.</source>
        <translation>正在读取或写入网关配置：请等待其结束，或在“网关配置”窗口中按“取消”。</translation>
    </message>
    <message>
        <source>Live Values is running: press Stop on the Live Values tab before sending from another tab.</source>
        <translation>实时数据正在运行：从其他页发送之前，请先在“实时数据”页按“停止”。</translation>
    </message>
</context>
<context>
    <name>kv770::ui::LayerText</name>
    <message>
        <source>Connection timeout, please contact Velmora Electronics%1!</source>
        <translation>连接超时，请联系 Velmora Electronics %1！</translation>
    </message>
    <message>
        <source>parameter query timeout!</source>
        <translation>参数查询超时！</translation>
    </message>
    <message>
        <source>set timeout</source>
        <translation>设置超时</translation>
    </message>
    <message>
        <source>!</source>
        <translation>！</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>“%1”不是有效的整数值</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is out of range (%2 to %3)</source>
        <translation>“%1”超出范围（%2 至 %3）</translation>
    </message>
    <message>
        <source>1 to 14 command bytes</source>
        <translation>命令须为 1 至 14 个字节</translation>
    </message>
    <message>
        <source>NO SPACK</source>
        <translation>字节之间缺少空格</translation>
    </message>
    <message>
        <source>Data eeore!</source>
        <translation>数据错误！</translation>
    </message>
    <message>
        <source>input data without spaces</source>
        <translation>输入的数据之间缺少空格</translation>
    </message>
    <message>
        <source>there are illegal characters, please re-enter!</source>
        <translation>含有非法字符，请重新输入！</translation>
    </message>
    <message>
        <source>Error opening serial port
%1: %2</source>
        <translation>打开串口出错
%1：%2</translation>
    </message>
    <message>
        <source>the port is busy (another program has it open)</source>
        <translation>端口忙（另一个程序已打开它）</translation>
    </message>
    <message>
        <source>%1. The user must be a member of the group that owns the device (%2), for example: sudo usermod -aG %2 $USER, then log in again</source>
        <translation>%1。用户必须是拥有该设备的组（%2）的成员，例如：sudo usermod -aG %2 $USER，然后重新登录</translation>
    </message>
    <message>
        <source>This serial port already opened</source>
        <translation>此串口已经打开</translation>
    </message>
    <message>
        <source>File handle is not a comm handle 
%1: not a serial device</source>
        <translation>文件句柄不是串口句柄
%1：不是串口设备</translation>
    </message>
    <message>
        <source>(no port name)</source>
        <translation>（无端口名）</translation>
    </message>
    <message>
        <source>Unable to create event</source>
        <translation>无法创建事件</translation>
    </message>
    <message>
        <source>Unable to create read thread</source>
        <translation>无法创建读线程</translation>
    </message>
    <message>
        <source>Unable to create write thread</source>
        <translation>无法创建写线程</translation>
    </message>
    <message>
        <source>serial number %1</source>
        <translation>序列号 %1</translation>
    </message>
    <message>
        <source>%1, serial number %2</source>
        <translation>%1，序列号 %2</translation>
    </message>
    <message>
        <source>Asynchronous socket error %1</source>
        <translation>异步套接字错误 %1</translation>
    </message>
    <message>
        <source>Windows socket error: %1 (%2), on API &apos;%3&apos;</source>
        <translation>套接字错误：%1（%2），调用“%3”时</translation>
    </message>
    <message>
        <source>Can&apos;t change value while socket is active</source>
        <translation>套接字连接期间不能更改该值</translation>
    </message>
    <message>
        <source>No address specified</source>
        <translation>未指定地址</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a numeric IPv4 address</source>
        <translation>“%1”不是数字形式的 IPv4 地址</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>没有那个文件或目录</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>权限不够</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>是一个目录</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>设备上没有空间</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>只读文件系统</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>连接被拒绝</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>连接超时</translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation>没有到主机的路由</translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation>网络不可达</translation>
    </message>
    <message>
        <source>Broken pipe</source>
        <translation>管道已断开</translation>
    </message>
    <message>
        <source>Connection reset by peer</source>
        <translation>连接被对方重置</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>输入/输出错误</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>正常</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>bad reply</source>
        <translation>应答有误</translation>
    </message>
    <message>
        <source>current</source>
        <translation>电流</translation>
    </message>
    <message>
        <source>variable %1</source>
        <translation>变量 %1</translation>
    </message>
    <message>
        <source>unit code %1</source>
        <translation>单位代码 %1</translation>
    </message>
    <message>
        <source>no answer from the gateway to %1</source>
        <translation>网关对 %1 无应答</translation>
    </message>
    <message>
        <source>meter %1 does not exist: the gateway has meters 1 to 8</source>
        <translation>仪表 %1 不存在：网关的仪表为 1 至 8</translation>
    </message>
    <message>
        <source>no meter is enabled in the gateway&apos;s MODBUS mapping: name the meters to watch</source>
        <translation>网关的 MODBUS 映射中没有启用的仪表：请指定要监视的仪表</translation>
    </message>
    <message>
        <source>the gateway&apos;s slave address %1 does not fit a MODBUS frame</source>
        <translation>网关的从站地址 %1 超出 MODBUS 帧的范围</translation>
    </message>
    <message>
        <source>no instrument answered on the channels watched</source>
        <translation>所监视的通道上没有仪表应答</translation>
    </message>
    <message>
        <source>channel %1: command 3 unanswered; its units are not known yet</source>
        <translation>通道 %1：命令 3 无应答，其单位暂时未知</translation>
    </message>
    <message>
        <source>channel %1: command 3 not valid: %2; its units are not known yet</source>
        <translation>通道 %1：命令 3 的应答无效：%2，其单位暂时未知</translation>
    </message>
    <message>
        <source>channel %1 left out: no instrument answered command 0</source>
        <translation>通道 %1 已略过：没有仪表应答命令 0</translation>
    </message>
    <message>
        <source>channel %1 left out: command 0 answered with no valid reply: %2</source>
        <translation>通道 %1 已略过：命令 0 的应答无效：%2</translation>
    </message>
    <message>
        <source>channel %1 left out: the gateway did not answer its HCS command</source>
        <translation>通道 %1 已略过：网关没有应答其 HCS 命令</translation>
    </message>
    <message>
        <source>communication error %1</source>
        <translation>通信错误 %1</translation>
    </message>
    <message>
        <source>no HART reply in it (no FF 06 or FF 86)</source>
        <translation>其中没有 HART 应答（没有 FF 06 或 FF 86）</translation>
    </message>
    <message>
        <source>delimiter %1 where %2 answers the request</source>
        <translation>定界符为 %1，应答该请求的应为 %2</translation>
    </message>
    <message>
        <source>the reply ends before its byte count</source>
        <translation>应答在字节计数之前就结束了</translation>
    </message>
    <message>
        <source>byte count %1, but %2 bytes follow it</source>
        <translation>字节计数为 %1，但其后只有 %2 个字节</translation>
    </message>
    <message>
        <source>check byte %1 where %2 was expected</source>
        <translation>校验字节为 %1，应为 %2</translation>
    </message>
    <message>
        <source>address %1 where %2 was sent</source>
        <translation>地址为 %1，而发送的是 %2</translation>
    </message>
    <message>
        <source>command %1 where command %2 was sent</source>
        <translation>命令为 %1，而发送的是命令 %2</translation>
    </message>
    <message>
        <source>byte count %1 leaves no room for the response code and device status</source>
        <translation>字节计数 %1 容不下响应码和设备状态</translation>
    </message>
    <message>
        <source>the instrument answered with response code %1 (%2) and no data</source>
        <translation>仪表以响应码 %1（%2）应答，没有数据</translation>
    </message>
    <message>
        <source>the instrument answered with response code %1 and no data</source>
        <translation>仪表以响应码 %1 应答，没有数据</translation>
    </message>
    <message>
        <source>byte count %1 is too short for command %2 (%3 at least)</source>
        <translation>字节计数 %1 对命令 %2 来说太短（至少 %3）</translation>
    </message>
    <message>
        <source>communication error</source>
        <translation>通信错误</translation>
    </message>
    <message>
        <source>invalid selection</source>
        <translation>无效选择</translation>
    </message>
    <message>
        <source>too few data bytes received</source>
        <translation>接收到的数据字节过少</translation>
    </message>
    <message>
        <source>device-specific command error</source>
        <translation>设备专用命令错误</translation>
    </message>
    <message>
        <source>access restricted</source>
        <translation>访问受限</translation>
    </message>
    <message>
        <source>busy</source>
        <translation>忙</translation>
    </message>
    <message>
        <source>command not implemented</source>
        <translation>命令未实现</translation>
    </message>
    <message>
        <source>IEEE 754 float</source>
        <translation>IEEE 754 浮点数</translation>
    </message>
    <message>
        <source>The gateway is in transparent mode: it presents these registers in MODBUS RTU mode only.</source>
        <translation>网关处于透明模式：只有在 MODBUS RTU 模式下网关才提供这些寄存器。</translation>
    </message>
    <message>
        <source>The working mode is not set: it presents these registers in MODBUS RTU mode only.</source>
        <translation>未设置工作模式：只有在 MODBUS RTU 模式下网关才提供这些寄存器。</translation>
    </message>
    <message>
        <source>Meter %1 (custom meter): variable %2 not parsed from any reply; its registers hold no value.</source>
        <translation>仪表 %1（自定义仪表）：变量 %2 不从任何应答中解析，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>Meter %1 (custom meter): variables %2 not parsed from any reply; their registers hold no value.</source>
        <translation>仪表 %1（自定义仪表）：变量 %2 不从任何应答中解析，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>Meters %1 (custom meters): variable %2 not parsed from any reply; its registers hold no value.</source>
        <translation>仪表 %1（自定义仪表）：变量 %2 不从任何应答中解析，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>Meters %1 (custom meters): variables %2 not parsed from any reply; their registers hold no value.</source>
        <translation>仪表 %1（自定义仪表）：变量 %2 不从任何应答中解析，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>No meter is enabled: the registers hold no value.</source>
        <translation>没有启用的仪表：寄存器没有数值。</translation>
    </message>
    <message>
        <source>Meter %1 disabled: the gateway does not poll it, so its registers hold no value.</source>
        <translation>仪表 %1 已禁用：网关不轮询它，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>Meters %1 disabled: the gateway does not poll them, so their registers hold no value.</source>
        <translation>仪表 %1 已禁用：网关不轮询它们，其寄存器没有数值。</translation>
    </message>
    <message>
        <source>working mode</source>
        <translation>工作模式</translation>
    </message>
    <message>
        <source>slave address</source>
        <translation>从站地址</translation>
    </message>
    <message>
        <source>polling interval</source>
        <translation>轮询间隔</translation>
    </message>
    <message>
        <source>RS-485 settings</source>
        <translation>RS-485 设置</translation>
    </message>
    <message>
        <source>meter %1 polling set-up</source>
        <translation>仪表 %1 轮询设置</translation>
    </message>
    <message>
        <source>meter %1 byte orders</source>
        <translation>仪表 %1 字节序</translation>
    </message>
    <message>
        <source>meter %1 coefficients</source>
        <translation>仪表 %1 系数</translation>
    </message>
    <message>
        <source>meter %1 custom parsing format</source>
        <translation>仪表 %1 自定义解析格式</translation>
    </message>
    <message>
        <source>meter %1 read-meter command %2</source>
        <translation>仪表 %1 读仪表命令 %2</translation>
    </message>
    <message>
        <source>%1: %2 wanted, the gateway has %3</source>
        <translation>%1：应为 %2，网关为 %3</translation>
    </message>
</context>
<context>
    <name>kv770::ui::LiveChart</name>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Value (%1)</source>
        <translation>值 (%1)</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Legend: no line shown</source>
        <translation>图例：未显示曲线</translation>
    </message>
    <message>
        <source>Legend: %1</source>
        <translation>图例：%1</translation>
    </message>
    <message>
        <source>, </source>
        <translation>，</translation>
    </message>
</context>
<context>
    <name>kv770::ui::LiveTab</name>
    <message>
        <source>1 poll</source>
        <translation>1 次轮询</translation>
    </message>
    <message>
        <source>%1 polls</source>
        <translation>%1 次轮询</translation>
    </message>
    <message>
        <source>no answer</source>
        <comment>the widest of the status words ok, no answer, bad reply</comment>
        <translation>应答有误</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation>间隔：</translation>
    </message>
    <message>
        <source>Meters:</source>
        <translation>仪表：</translation>
    </message>
    <message>
        <source>Meter %1</source>
        <translation>仪表 %1</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Reset zoom</source>
        <translation>重置缩放</translation>
    </message>
    <message>
        <source>Save CSV</source>
        <translation>保存 CSV</translation>
    </message>
    <message>
        <source>Chart of the live values</source>
        <translation>实时数据曲线图</translation>
    </message>
    <message>
        <source>Each meter&apos;s values over the last minutes; drag a rectangle to zoom in. The legend below names the lines shown; the table beside it lists the latest values.</source>
        <translation>各仪表最近几分钟的数值；拖出一个矩形可放大。下方的图例列出所显示的曲线；旁边的表格列出最新数值。</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>仪表</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>物理量</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Latest values</source>
        <translation>最新数值</translation>
    </message>
    <message>
        <source>One row per meter and quantity: value, unit, status and time of the latest poll. A row&apos;s check box shows or hides its line in the chart; the currents are shown at first.</source>
        <translation>每个仪表的每个物理量占一行：最近一次轮询的数值、单位、状态和时间。行首的复选框决定曲线图中是否显示该曲线；开始时只显示电流。</translation>
    </message>
    <message>
        <source>No link to the gateway is open: open the serial port or connect over TCP on the System Parameter tab, then press Start.</source>
        <translation>未打开到网关的链路：请在“系统参数”页打开串口或建立 TCP 连接，然后按“开始”。</translation>
    </message>
    <message>
        <source>Choose at least one meter to watch, then press Start.</source>
        <translation>请至少选择一个要监视的仪表，然后按“开始”。</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Stopped after %1</source>
        <translation>已停止，共完成 %1</translation>
    </message>
    <message>
        <source>.</source>
        <translation>。</translation>
    </message>
    <message>
        <source>: %1.</source>
        <translation>：%1。</translation>
    </message>
    <message>
        <source> The gateway&apos;s HART address is left at %1: set it again on the Transparent Mode tab before asking an instrument there.</source>
        <translation>网关的 HART 地址仍为 %1：在“透明模式”页查询那里的仪表之前，请重新设置该地址。</translation>
    </message>
    <message>
        <source>the serial port is closed</source>
        <translation>串口已关闭</translation>
    </message>
    <message>
        <source>the TCP connection is closed</source>
        <translation>TCP 连接已断开</translation>
    </message>
    <message>
        <source>; </source>
        <translation>；</translation>
    </message>
    <message>
        <source>the gateway&apos;s configuration could not be read (%1)</source>
        <translation>无法读取网关的配置（%1）</translation>
    </message>
    <message>
        <source>Live Values: the gateway&apos;s configuration could not be read: %1</source>
        <translation>实时数据：无法读取网关的配置：%1</translation>
    </message>
    <message>
        <source>Ticked: drawn in the chart with this stroke (the meter&apos;s colour; the current solid, the variables dashed)</source>
        <translation>勾选时以此线型画入曲线图（颜色对应仪表；电流为实线，变量为虚线）</translation>
    </message>
    <message>
        <source>Open a link on the System Parameter tab, then press Start to poll the gateway&apos;s values.</source>
        <translation>请在“系统参数”页打开链路，然后按“开始”轮询网关的数值。</translation>
    </message>
    <message>
        <source>Reading the gateway&apos;s configuration...</source>
        <translation>正在读取网关的配置...</translation>
    </message>
    <message>
        <source>Identifying the instruments...</source>
        <translation>正在识别仪表...</translation>
    </message>
    <message>
        <source>Polling every %1 ms: %2.</source>
        <translation>轮询间隔 %1 ms：已完成 %2。</translation>
    </message>
    <message>
        <source> The gateway did not answer: no values for %1.</source>
        <translation>网关无应答：已连续 %1没有数值。</translation>
    </message>
    <message>
        <source> %1 of %2 values missing in the last poll.</source>
        <translation>上次轮询缺少 %1 个数值（共 %2 个）。</translation>
    </message>
    <message>
        <source> Left out: %1.</source>
        <translation>已略过：%1。</translation>
    </message>
    <message>
        <source>There are no values to save yet: press Start and let a poll come.</source>
        <translation>还没有可保存的数值：请按“开始”并等待一次轮询。</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV 文件 (*.csv);;所有文件 (*)</translation>
    </message>
    <message>
        <source>The values could not be saved to %1: %2</source>
        <translation>无法将数值保存到 %1：%2</translation>
    </message>
</context>
<context>
    <name>kv770::ui::ModbusTab</name>
    <message>
        <source>0)Custom_Meter</source>
        <translation>0)自定义仪表</translation>
    </message>
    <message>
        <source>1)Currency_Meter</source>
        <translation>1)通用仪表</translation>
    </message>
    <message>
        <source>0 close</source>
        <translation>0 关闭</translation>
    </message>
    <message>
        <source>1 open</source>
        <translation>1 打开</translation>
    </message>
    <message>
        <source>0 Not analytic</source>
        <translation>0 不解析</translation>
    </message>
    <message>
        <source>1 Command 1</source>
        <translation>1 命令 1</translation>
    </message>
    <message>
        <source>2 Command 2</source>
        <translation>2 命令 2</translation>
    </message>
    <message>
        <source>4 byte</source>
        <translation>4 字节</translation>
    </message>
    <message>
        <source>8 byte</source>
        <translation>8 字节</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Secondary Master Device</source>
        <translation>副主设备</translation>
    </message>
    <message>
        <source>Master Device</source>
        <translation>主设备</translation>
    </message>
    <message>
        <source>polling set-up</source>
        <translation>轮询设置</translation>
    </message>
    <message>
        <source>Meter ID:</source>
        <translation>仪表号：</translation>
    </message>
    <message>
        <source>Enable:</source>
        <translation>启用：</translation>
    </message>
    <message>
        <source>Device Mode:</source>
        <translation>设备模式：</translation>
    </message>
    <message>
        <source>Instrument Type:</source>
        <translation>仪表类型：</translation>
    </message>
    <message>
        <source>Preamble Length:</source>
        <translation>前导码长度：</translation>
    </message>
    <message>
        <source>Buffer Clear Time:</source>
        <translation>缓冲区清除时间：</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>电流</translation>
    </message>
    <message>
        <source>Current byte order</source>
        <translation>电流字节序</translation>
    </message>
    <message>
        <source>Variable_%1(RTU_ADR)</source>
        <translation>变量%1(RTU_ADR)</translation>
    </message>
    <message>
        <source>%1 byte order</source>
        <translation>%1 字节序</translation>
    </message>
    <message>
        <source>byte orders</source>
        <translation>字节序</translation>
    </message>
    <message>
        <source>Variable %1 Coefficient</source>
        <translation>变量 %1 系数</translation>
    </message>
    <message>
        <source>coefficients</source>
        <translation>系数</translation>
    </message>
    <message>
        <source>Channel Test</source>
        <translation>通道测试</translation>
    </message>
    <message>
        <source>Read Meter Command %1:</source>
        <translation>读仪表命令 %1：</translation>
    </message>
    <message>
        <source>%1 Enable</source>
        <translation>%1 启用</translation>
    </message>
    <message>
        <source>Address Bits:</source>
        <translation>地址位数：</translation>
    </message>
    <message>
        <source>Command Number</source>
        <translation>命令号</translation>
    </message>
    <message>
        <source>Star_Adr</source>
        <translation>起始地址</translation>
    </message>
    <message>
        <source>Data Length</source>
        <translation>数据长度</translation>
    </message>
    <message>
        <source>Variable_%1:</source>
        <translation>变量%1：</translation>
    </message>
    <message>
        <source>Custom HART Command Parsing</source>
        <translation>自定义 HART 命令解析</translation>
    </message>
    <message>
        <source>Custom Data Parsing Format</source>
        <translation>自定义数据解析格式</translation>
    </message>
    <message>
        <source>MODBUS_RTU parameters</source>
        <translation>MODBUS_RTU 参数</translation>
    </message>
</context>
<context>
    <name>kv770::ui::ModbusTools</name>
    <message>
        <source>Modbus Communication Test</source>
        <translation>Modbus 通信测试</translation>
    </message>
    <message>
        <source>MODBUS Slave Address:</source>
        <translation>MODBUS 从站地址：</translation>
    </message>
    <message>
        <source>MODBUS Start Address:</source>
        <translation>MODBUS 起始地址：</translation>
    </message>
    <message>
        <source>Read Data Length:</source>
        <translation>读取数据长度：</translation>
    </message>
    <message>
        <source>MODBUS Comm Test</source>
        <translation>MODBUS 通信测试</translation>
    </message>
    <message>
        <source>IEE754 Calculation</source>
        <translation>IEEE754 计算</translation>
    </message>
    <message>
        <source>Data Format HEX(FF FF FF FF):</source>
        <translation>数据格式 HEX(FF FF FF FF)：</translation>
    </message>
    <message>
        <source>Calculation</source>
        <translation>计算</translation>
    </message>
    <message>
        <source>Value:</source>
        <translation>数值：</translation>
    </message>
</context>
<context>
    <name>kv770::ui::StatusLine</name>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>链路</translation>
    </message>
    <message>
        <source>Request</source>
        <translation>请求</translation>
    </message>
    <message>
        <source>Last reply</source>
        <translation>上次应答</translation>
    </message>
</context>
<context>
    <name>kv770::ui::SystemTab</name>
    <message>
        <source>None</source>
        <translation>无校验</translation>
    </message>
    <message>
        <source>Odd</source>
        <translation>奇校验</translation>
    </message>
    <message>
        <source>Even</source>
        <translation>偶校验</translation>
    </message>
    <message>
        <source>Serial Port</source>
        <translation>串口</translation>
    </message>
    <message>
        <source>IP Ethernet</source>
        <translation>IP 以太网</translation>
    </message>
    <message>
        <source>Communication Mode:</source>
        <translation>通信方式：</translation>
    </message>
    <message>
        <source>Serial Port Parameters</source>
        <translation>串口参数</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Serial Port:</source>
        <translation>串口：</translation>
    </message>
    <message>
        <source>Baud:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验：</translation>
    </message>
    <message>
        <source>Internet Parameter Configuration</source>
        <translation>网络参数配置</translation>
    </message>
    <message>
        <source>TCP connection state</source>
        <translation>TCP 连接状态</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>Gateway Parameter Query</source>
        <translation>网关参数查询</translation>
    </message>
    <message>
        <source>Target IP Address:</source>
        <translation>目标 IP 地址：</translation>
    </message>
    <message>
        <source>Port Number:</source>
        <translation>端口号：</translation>
    </message>
    <message>
        <source>RS485 Serial Port Parameters</source>
        <translation>RS485 串口参数</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>MODBUS_Slave_Adr:</source>
        <translation>MODBUS 从站地址：</translation>
    </message>
    <message>
        <source>Working Mode:</source>
        <translation>工作模式：</translation>
    </message>
    <message>
        <source>Transparent Mode</source>
        <translation>透明模式</translation>
    </message>
    <message>
        <source>MODBUS_RTU Mode</source>
        <translation>MODBUS_RTU 模式</translation>
    </message>
    <message>
        <source>Meter Polling Interval:</source>
        <translation>仪表轮询间隔：</translation>
    </message>
    <message>
        <source>Communication Query</source>
        <translation>通信查询</translation>
    </message>
    <message>
        <source>System Parameters</source>
        <translation>系统参数</translation>
    </message>
    <message>
        <source>Parameter Initialization</source>
        <translation>参数初始化</translation>
    </message>
    <message>
        <source>PCBSN:</source>
        <translation>PCBSN：</translation>
    </message>
    <message>
        <source>inspector:</source>
        <translation>检验员：</translation>
    </message>
    <message>
        <source>connecting!</source>
        <translation>正在连接！</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>already disconnected</source>
        <translation>已断开</translation>
    </message>
    <message>
        <source>connection failed</source>
        <translation>连接失败</translation>
    </message>
    <message>
        <source>%1, open</source>
        <translation>%1，已打开</translation>
    </message>
    <message>
        <source>%1 connected</source>
        <translation>%1 已连接</translation>
    </message>
    <message>
        <source>%1 connecting</source>
        <translation>%1 正在连接</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>disconnected state</source>
        <translation>断开状态</translation>
    </message>
    <message>
        <source>Device: %1</source>
        <translation>设备：%1</translation>
    </message>
    <message>
        <source>open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>The serial device %1 is gone</source>
        <translation>串口设备 %1 已不存在</translation>
    </message>
    <message>
        <source>open serial</source>
        <translation>打开串口</translation>
    </message>
</context>
<context>
    <name>kv770::ui::TrafficPane</name>
    <message>
        <source>Traffic history:</source>
        <translation>通信记录：</translation>
    </message>
    <message>
        <source>Traffic history</source>
        <translation>通信记录</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清空</translation>
    </message>
</context>
<context>
    <name>kv770::ui::TransparentTab</name>
    <message>
        <source>Preamble Length:</source>
        <translation>前导码长度：</translation>
    </message>
    <message>
        <source>HART Address:</source>
        <translation>HART 地址：</translation>
    </message>
    <message>
        <source>Master Mode</source>
        <translation>主模式</translation>
    </message>
    <message>
        <source>Secondary Master Mode</source>
        <translation>副主模式</translation>
    </message>
    <message>
        <source>HART Command Mode:</source>
        <translation>HART 命令模式：</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>HART Device Basic Parameters</source>
        <translation>HART 设备基本参数</translation>
    </message>
    <message>
        <source>Manufacturing ID:</source>
        <translation>制造商 ID：</translation>
    </message>
    <message>
        <source>Sensor type:</source>
        <translation>变送器类型：</translation>
    </message>
    <message>
        <source>Preamble Byte Count:</source>
        <translation>前导码字节数：</translation>
    </message>
    <message>
        <source>Sensor Serial Number:</source>
        <translation>变送器序列号：</translation>
    </message>
    <message>
        <source>HART Device Parameter Query</source>
        <translation>HART 设备参数查询</translation>
    </message>
    <message>
        <source>Universal HART Real-Time Data</source>
        <translation>HART 通用实时数据</translation>
    </message>
    <message>
        <source>Current_Variable_%1:</source>
        <translation>当前变量%1：</translation>
    </message>
    <message>
        <source>Unit:</source>
        <translation>单位：</translation>
    </message>
    <message>
        <source>Current_Variable_%1 Unit:</source>
        <translation>当前变量%1 单位：</translation>
    </message>
    <message>
        <source>HART Command Query</source>
        <translation>HART 命令查询</translation>
    </message>
    <message>
        <source>Manual HART Command:</source>
        <translation>手动 HART 命令：</translation>
    </message>
    <message>
        <source>(Auto Generated checksum)</source>
        <translation>（自动生成校验和）</translation>
    </message>
    <message>
        <source>send</source>
        <translation>发送</translation>
    </message>
</context>
<context>
    <name>kv770::ui::WiringTab</name>
    <message>
        <source>MODBUS master</source>
        <translation>MODBUS 主站</translation>
    </message>
    <message>
        <source>converter</source>
        <translation>转换器</translation>
    </message>
    <message>
        <source>HART / MODBUS gateway</source>
        <translation>HART / MODBUS 网关</translation>
    </message>
    <message>
        <source>Power supply</source>
        <translation>电源</translation>
    </message>
    <message>
        <source>Loop power</source>
        <translation>回路电源</translation>
    </message>
    <message>
        <source>up to 8 HART instruments in parallel (multidrop)</source>
        <translation>最多 8 台 HART 仪表并联（多点）</translation>
    </message>
    <message>
        <source>Wiring Diagram</source>
        <translation>接线图</translation>
    </message>
    <message>
        <source>KV770-W gateway: 24 V DC supply on +24V and 0V; RS-485 A and B to the PC through a USB-RS485 converter; HART+ and HART- across a loop with 24 V DC loop power, a 250 ohm resistor and up to eight HART instruments in parallel.</source>
        <translation>KV770-W 网关：24 V DC 电源接 +24V 和 0V；RS-485 A、B 经 USB-RS485 转换器接 PC；HART+ 和 HART- 接在回路两端，回路中有 24 V DC 回路电源、250 欧姆电阻和最多八台并联的 HART 仪表。</translation>
    </message>
</context>
</TS>
