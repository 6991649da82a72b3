// Quorlane.dll for .NET hosts, 32-bit and 64-bit processes alike: put the
// 32-bit Quorlane.dll beside an x86 (or "Prefer 32-bit") program and the one
// from x64/ beside an x64 or "Any CPU" program on 64-bit Windows. Results are
// IntPtr, so this class needs no change between the two.
//
// Text results point into one library-wide buffer that the next text-returning
// call replaces; the methods below copy them into managed strings at once, in
// the system ANSI code page. Call SetInitial first and FreeInitial last, on
// the UI thread: waiting calls pump that thread's messages.
using System;
using System.Runtime.InteropServices;

namespace Quorlane
{
    public static class QuorlaneLibrary
    {
        private const string Dll = "Quorlane.dll";

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern void SetInitial(IntPtr hostMainWindow);

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern void FreeInitial();

        [DllImport(Dll, EntryPoint = "SetLockDBDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr SetLockDBNative(string lockKey, string productCode);
        public static string SetLockDB(string lockKey, string productCode) => Text(SetLockDBNative(lockKey, productCode));

        [DllImport(Dll, EntryPoint = "SetUnLockDBDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr SetUnLockDBNative(string lockKey);
        public static string SetUnLockDB(string lockKey) => Text(SetUnLockDBNative(lockKey));

        [DllImport(Dll, EntryPoint = "SetForceUnLockDBDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr SetForceUnLockDBNative(string lockKey);
        public static string SetForceUnLockDB(string lockKey) => Text(SetForceUnLockDBNative(lockKey));

        [DllImport(Dll, EntryPoint = "CheckDBLockedDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr CheckDBLockedNative(string lockKey);
        public static string CheckDBLocked(string lockKey) => Text(CheckDBLockedNative(lockKey));

        [DllImport(Dll, EntryPoint = "DoDeleteFileDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr DoDeleteFileNative(string fileName);
        public static string DoDeleteFile(string fileName) => Text(DoDeleteFileNative(fileName));

        [DllImport(Dll, EntryPoint = "DoCopyFileDotNet", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr DoCopyFileNative(string sourceFileName, string targetFileName);
        public static string DoCopyFile(string sourceFileName, string targetFileName) => Text(DoCopyFileNative(sourceFileName, targetFileName));

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int StartServerService(string serverHost, string serviceName);

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int StopServerService(string serverHost, string serviceName);

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int ServerServiceStarted(string serverHost, string serviceName);

        [DllImport(Dll, EntryPoint = "GetFileSizeInfo", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr GetFileSizeInfoNative(string firstField, string secondField);
        public static string GetFileSizeInfo(string firstField, string secondField) => Text(GetFileSizeInfoNative(firstField, secondField));

        [DllImport(Dll, EntryPoint = "GetVATList", CallingConvention = CallingConvention.StdCall)]
        private static extern IntPtr GetVATListNative();
        public static string GetVATList() => Text(GetVATListNative());

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern void SaveVATList(string listText);

        [DllImport(Dll, EntryPoint = "GetTaxationAPIKey", CallingConvention = CallingConvention.StdCall)]
        private static extern IntPtr GetTaxationAPIKeyNative();
        public static string GetTaxationAPIKey() => Text(GetTaxationAPIKeyNative());

        [DllImport(Dll, EntryPoint = "GetAppSelfUpdURL", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        private static extern IntPtr GetAppSelfUpdURLNative(string applicationId);

        /// <summary>
        /// Asks the vendor's update server (port 9568) for the application's
        /// self-update address: "1,," + address + "[END]" (the address is empty
        /// for an unknown application), "0," + a "cannot connect" message, or ""
        /// when the exchange failed. Blocks for up to 5 s to connect plus 10 s
        /// per silent wait and pumps no messages: call it off the UI thread
        /// (it needs no SetInitial) or expect the window to freeze meanwhile.
        /// </summary>
        public static string GetAppSelfUpdURL(string applicationId) => Text(GetAppSelfUpdURLNative(applicationId));

        [DllImport(Dll, EntryPoint = "GetConvertedMessageDotNet", CallingConvention = CallingConvention.StdCall)]
        private static extern IntPtr GetConvertedMessageNative(IntPtr message);

        /// <summary>
        /// A Big5 (Traditional Chinese) message in GBK (Simplified) on a system
        /// whose default language is Chinese (PRC); unchanged on every other
        /// system. "" for null, and "" on a PRC system before SetInitial.
        /// </summary>
        public static string GetConvertedMessage(string message)
        {
            // Where no conversion takes place the export returns its argument
            // pointer itself (and null for null), so the argument lives in
            // unmanaged memory of our own until the result has been copied; a
            // string marshalled by the runtime could be freed before that.
            IntPtr argument = message == null ? IntPtr.Zero : Marshal.StringToHGlobalAnsi(message);
            try
            {
                return Text(GetConvertedMessageNative(argument));
            }
            finally
            {
                if (argument != IntPtr.Zero) Marshal.FreeHGlobal(argument);
            }
        }

        /// <summary>
        /// The same for a message that is already Big5 bytes (the ANSI code page
        /// of a PRC system is GBK, so a Big5 string cannot always survive the
        /// trip through a .NET string): the result comes back as bytes as well,
        /// GBK on a PRC system and the given bytes elsewhere.
        /// </summary>
        public static byte[] GetConvertedMessage(byte[] big5Message)
        {
            if (big5Message == null) return new byte[0];
            IntPtr argument = Marshal.AllocHGlobal(big5Message.Length + 1);
            try
            {
                Marshal.Copy(big5Message, 0, argument, big5Message.Length);
                Marshal.WriteByte(argument, big5Message.Length, 0);
                return Bytes(GetConvertedMessageNative(argument));
            }
            finally
            {
                Marshal.FreeHGlobal(argument);
            }
        }

        /// <summary>Kept for compatibility: accepts its argument and does nothing.</summary>
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern void GetZConvertList(int reserved);

        /// <summary>Kept for compatibility: accepts its arguments and does nothing.</summary>
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern void SyncZConvertList(int reserved1, int reserved2);

        private static byte[] Bytes(IntPtr text)
        {
            if (text == IntPtr.Zero) return new byte[0];
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) length++;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return bytes;
        }

        private static string Text(IntPtr result) => result == IntPtr.Zero ? string.Empty : Marshal.PtrToStringAnsi(result) ?? string.Empty;
    }
}
