<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>MMessageBox</name>
    <message>
        <source>WindowClose</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Smart Camera</source>
        <translation>智能摄像机</translation>
    </message>
    <message>
        <source>Current Version</source>
        <translation>当前版本</translation>
    </message>
    <message>
        <source>current_version:%1, new version:%2, update it?</source>
        <translation>当前版本：%1，新版本：%2，是否更新？</translation>
    </message>
    <message>
        <source>current_version:%1, already latest</source>
        <translation>当前版本：%1，已是最新版本</translation>
    </message>
    <message>
        <source>Account Quit</source>
        <translation>退出账号</translation>
    </message>
    <message>
        <source>Are you sure to quit current account?</source>
        <translation>确定要退出当前账号吗？</translation>
    </message>
    <message>
        <source>Application Quit</source>
        <translation>退出应用</translation>
    </message>
    <message>
        <source>Are you sure to close app?</source>
        <translation>确定要关闭应用吗？</translation>
    </message>
    <message>
        <source>net error,click to retry.</source>
        <translation>网络错误，请点击重试。</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>no camerar, please goto marqet.</source>
        <translation>还没有摄像机，请前往商城选购。</translation>
    </message>
    <message>
        <source>MarqetStore</source>
        <translation>前往商城</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>退出登录</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>MainWindowUI</name>
    <message>
        <source>Smart Camera</source>
        <translation>智能摄像机</translation>
    </message>
    <message>
        <source>Current Version</source>
        <translation>当前版本</translation>
    </message>
    <message>
        <source>current_version:%1, new version:%2, update it?</source>
        <translation>当前版本：%1，新版本：%2，是否更新？</translation>
    </message>
    <message>
        <source>current_version:%1, already latest</source>
        <translation>当前版本：%1，已是最新版本</translation>
    </message>
    <message>
        <source>Account Quit</source>
        <translation>退出账号</translation>
    </message>
    <message>
        <source>Are you sure to quit current account?</source>
        <translation>确定要退出当前账号吗？</translation>
    </message>
    <message>
        <source>Application Quit</source>
        <translation>退出应用</translation>
    </message>
    <message>
        <source>Are you sure to close app?</source>
        <translation>确定要关闭应用吗？</translation>
    </message>
    <message>
        <source>net error,click to retry.</source>
        <translation>网络错误，请点击重试。</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>no camerar, please goto marqet.</source>
        <translation>还没有摄像机，请前往商城选购。</translation>
    </message>
    <message>
        <source>MarqetStore</source>
        <translation>前往商城</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>退出登录</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>%1 cameras, %2 online</source>
        <translation>%1 个摄像机，%2 个在线</translation>
    </message>
    <message>
        <source>Play all</source>
        <translation>全部播放</translation>
    </message>
    <message>
        <source>Play every stopped camera of this page</source>
        <translation>播放本页所有已停止的摄像机</translation>
    </message>
</context>
<context>
    <name>PinCodeWidget</name>
    <message>
        <source>Please enter the pin code</source>
        <translation>请输入密码</translation>
    </message>
    <message>
        <source>Pin Code incorrect!</source>
        <translation>密码错误！</translation>
    </message>
</context>
<context>
    <name>RoomListBar</name>
    <message>
        <source>Default Room</source>
        <translation>默认房间</translation>
    </message>
    <message>
        <source>Shared</source>
        <translation>共享</translation>
    </message>
    <message>
        <source>All Rooms</source>
        <translation>全部房间</translation>
    </message>
</context>
<context>
    <name>SettingMenu</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>退出登录</translation>
    </message>
</context>
<context>
    <name>StatusInfoFrame</name>
    <message>
        <source>Buffering...</source>
        <translation>缓冲中...</translation>
    </message>
    <message>
        <source>Reading properties...</source>
        <translation>正在读取属性...</translation>
    </message>
    <message>
        <source>Authing pincode...</source>
        <translation>正在验证密码...</translation>
    </message>
    <message>
        <source>Establishing a safe connection...</source>
        <translation>正在建立安全连接...</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>正在断开连接...</translation>
    </message>
    <message>
        <source>Preparing to play...</source>
        <translation>正在准备播放...</translation>
    </message>
</context>
<context>
    <name>TimeDateLineWidget</name>
    <message>
        <source>Live</source>
        <translation>直播</translation>
    </message>
</context>
<context>
    <name>TimeLineToolsWidget</name>
    <message>
        <source>Earlier days</source>
        <translation>更早的日期</translation>
    </message>
    <message>
        <source>Later days</source>
        <translation>更晚的日期</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>放大</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>缩小</translation>
    </message>
    <message>
        <source>Back 5 minutes</source>
        <translation>后退 5 分钟</translation>
    </message>
    <message>
        <source>Forward 5 minutes</source>
        <translation>前进 5 分钟</translation>
    </message>
</context>
<context>
    <name>TitleBar</name>
    <message>
        <source>Smart Camera</source>
        <translation>智能摄像机</translation>
    </message>
    <message>
        <source>MinWindow</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>RestoreWindow</source>
        <translation>向下还原</translation>
    </message>
    <message>
        <source>MaxWindow</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>CloseWindow</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>VideoSolutionCombobox</name>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>SD</source>
        <translation>标清</translation>
    </message>
    <message>
        <source>HD</source>
        <translation>高清</translation>
    </message>
</context>
<context>
    <name>ViewModeListWidget</name>
    <message>
        <source>1Window</source>
        <translation>单画面</translation>
    </message>
    <message>
        <source>4Windows</source>
        <translation>四画面</translation>
    </message>
    <message>
        <source>9Windows</source>
        <translation>九画面</translation>
    </message>
</context>
<context>
    <name>ViewModeWidget</name>
    <message>
        <source>1Window</source>
        <translation>单画面</translation>
    </message>
    <message>
        <source>4Windows</source>
        <translation>四画面</translation>
    </message>
    <message>
        <source>9Windows</source>
        <translation>九画面</translation>
    </message>
</context>
<context>
    <name>VuCameraWidget</name>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
    <message>
        <source>Reading properties...</source>
        <translation>正在读取属性...</translation>
    </message>
    <message>
        <source>Camera is sleep</source>
        <translation>摄像机已休眠</translation>
    </message>
    <message>
        <source>Click to retry</source>
        <translation>点击重试</translation>
    </message>
    <message>
        <source>Authing pincode...</source>
        <translation>正在验证密码...</translation>
    </message>
    <message>
        <source>Establishing a safe connection...</source>
        <translation>正在建立安全连接...</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>正在断开连接...</translation>
    </message>
    <message>
        <source>Preparing to play...</source>
        <translation>正在准备播放...</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>离线</translation>
    </message>
    <message>
        <source>Pin Code incorrect!</source>
        <translation>密码错误！</translation>
    </message>
    <message>
        <source>up to max client to play</source>
        <translation>观看人数已达上限</translation>
    </message>
    <message>
        <source>net error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Buffering...</source>
        <translation>缓冲中...</translation>
    </message>
    <message>
        <source>Stop Play</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>AudioOn</source>
        <translation>打开声音</translation>
    </message>
    <message>
        <source>AudioOff</source>
        <translation>关闭声音</translation>
    </message>
    <message>
        <source>FullScreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>ExitFullScreen</source>
        <translation>退出全屏</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>wakeup</source>
        <translation>唤醒</translation>
    </message>
    <message>
        <source>online</source>
        <translation>在线</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>离线</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>SD</source>
        <translation>标清</translation>
    </message>
    <message>
        <source>HD</source>
        <translation>高清</translation>
    </message>
    <message>
        <source>Please enter the pin code</source>
        <translation>请输入密码</translation>
    </message>
</context>
<context>
    <name>VuCameraWidgetUI</name>
    <message>
        <source>Snapshot</source>
        <translation>截图</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>录像</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>停止录像</translation>
    </message>
    <message>
        <source>Record to a video file (R)</source>
        <translation>录制为视频文件 (R)</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
    <message>
        <source>Sleep</source>
        <translation>休眠</translation>
    </message>
    <message>
        <source>Reading properties...</source>
        <translation>正在读取属性...</translation>
    </message>
    <message>
        <source>Camera is sleep</source>
        <translation>摄像机已休眠</translation>
    </message>
    <message>
        <source>Click to retry</source>
        <translation>点击重试</translation>
    </message>
    <message>
        <source>Authing pincode...</source>
        <translation>正在验证密码...</translation>
    </message>
    <message>
        <source>Establishing a safe connection...</source>
        <translation>正在建立安全连接...</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>正在断开连接...</translation>
    </message>
    <message>
        <source>Preparing to play...</source>
        <translation>正在准备播放...</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>离线</translation>
    </message>
    <message>
        <source>Pin Code incorrect!</source>
        <translation>密码错误！</translation>
    </message>
    <message>
        <source>up to max client to play</source>
        <translation>观看人数已达上限</translation>
    </message>
    <message>
        <source>net error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Buffering...</source>
        <translation>缓冲中...</translation>
    </message>
    <message>
        <source>Stop Play</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>AudioOn</source>
        <translation>打开声音</translation>
    </message>
    <message>
        <source>AudioOff</source>
        <translation>关闭声音</translation>
    </message>
    <message>
        <source>FullScreen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>ExitFullScreen</source>
        <translation>退出全屏</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>wakeup</source>
        <translation>唤醒</translation>
    </message>
    <message>
        <source>online</source>
        <translation>在线</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>离线</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>SD</source>
        <translation>标清</translation>
    </message>
    <message>
        <source>HD</source>
        <translation>高清</translation>
    </message>
    <message>
        <source>Please enter the pin code</source>
        <translation>请输入密码</translation>
    </message>
</context>
<context>
    <name>VuCameraClient</name>
    <message>
        <source>Recording needs a playing camera</source>
        <translation>摄像机播放时才能录像</translation>
    </message>
    <message>
        <source>Nothing was recorded</source>
        <translation>没有录到任何内容</translation>
    </message>
</context>
</TS>
