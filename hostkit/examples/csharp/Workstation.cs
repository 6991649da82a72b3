// A workstation's day with Quorlane.dll, as a C# console program: start the
// library, take the lock of a database (and say who holds it when someone
// else does), let it go again, read the site's VAT list, ask for the
// application's update address, stop.
//
//   Workstation [DATABASE [PRODUCT]]      (both default to SALES)
//
// Built with Quorlane.cs: csc (or mcs) -platform:x86 Workstation.cs ..\..\Quorlane.cs
// with Quorlane.dll beside the program, or -platform:x64 / anycpu with the
// DLL from x64\ (under the same name). Quorlane.ini goes beside the DLL.
using System;
using Quorlane;

namespace QuorlaneExamples
{
    public static class Workstation
    {
        // 資料庫已被其他使用者鎖定, "the database is locked by another user", in
        // Big5: the application's own messages, shown converted to GBK on a
        // Chinese (PRC) system by the library. Bytes, because a PRC system's
        // ANSI code page is GBK and a Big5 text would not survive a string.
        private static readonly byte[] LockedByAnother =
        {
            0xB8, 0xEA, 0xAE, 0xC6, 0xAE, 0x77, 0xA4, 0x77, 0xB3, 0x51, 0xA8, 0xE4,
            0xA5, 0x4C, 0xA8, 0xCF, 0xA5, 0xCE, 0xAA, 0xCC, 0xC2, 0xEA, 0xA9, 0x77,
        };

        // True when the lock was granted; says who holds it otherwise.
        private static bool LockDatabase(string database, string product)
        {
            // "Y; ; ; " or "N;user;computer;since" (already a copy).
            string[] answer = QuorlaneLibrary.SetLockDB(database, product).Split(';');
            if (answer[0] == "Y")
            {
                Console.WriteLine("lock {0}: granted", database);
                return true;
            }
            if (answer.Length < 4 || answer[1].Length == 0)
            {
                Console.WriteLine("lock {0}: not granted, the site server did not answer", database);
                return false;
            }
            Console.WriteLine("lock {0}: refused", database);
            // The message's bytes, GBK on a Chinese (PRC) system and Big5
            // elsewhere, go to the console as they are: in the system's ANSI
            // code page, which is what the console shows. (A window would
            // decode them with that code page into a string first.)
            byte[] message = QuorlaneLibrary.GetConvertedMessage(LockedByAnother);
            Console.Write("  ");
            Console.Out.Flush();
            var output = Console.OpenStandardOutput();  // not disposed: the handle stays the console's
            output.Write(message, 0, message.Length);
            output.Flush();
            Console.WriteLine(": {0} on {1} since {2}", answer[1], answer[2], answer[3]);
            return false;
        }

        private static void UnlockDatabase(string database)
        {
            string answer = QuorlaneLibrary.SetUnLockDB(database);
            if (answer.StartsWith("Y"))
                Console.WriteLine("unlock {0}: done", database);
            else
                Console.WriteLine("unlock {0}: not released ({1})", database, answer);
        }

        private static void ShowVatList()
        {
            string list = QuorlaneLibrary.GetVATList();
            string[] rates = list.Length == 0 ? new string[0] : list.Split(new[] { "\r\n" }, StringSplitOptions.None);
            Console.WriteLine("VAT list: {0} rates", rates.Length);
            foreach (string rate in rates) Console.WriteLine("  {0}", rate);
        }

        // Blocks (up to 5 s + 10 s) without pumping messages: a GUI program
        // asks from a worker thread while no other export runs.
        private static void ShowUpdateAddress(string application)
        {
            string answer = QuorlaneLibrary.GetAppSelfUpdURL(application);
            Console.Write("update address of {0}: ", application);
            if (answer.StartsWith("1,,") && answer.EndsWith("[END]"))
            {
                string address = answer.Substring(3, answer.Length - 8);
                Console.WriteLine(address.Length == 0 ? "none (the update server does not know it)" : address);
            }
            else if (answer.StartsWith("0,"))
                Console.WriteLine("unknown, {0}", answer.Substring(2));
            else
                Console.WriteLine("unknown, the look-up failed");
        }

        public static int Main(string[] args)
        {
            string database = args.Length > 0 ? args[0] : "SALES";
            string product = args.Length > 1 ? args[1] : database;
            Console.WriteLine("Quorlane from a {0}-bit host", IntPtr.Size * 8);

            // A console program has no main window; a Windows Forms one passes
            // its main form's Handle. Every call below runs on this thread.
            QuorlaneLibrary.SetInitial(IntPtr.Zero);
            try
            {
                if (LockDatabase(database, product)) UnlockDatabase(database);
                ShowVatList();
                ShowUpdateAddress(product);
            }
            finally
            {
                QuorlaneLibrary.FreeInitial();
            }
            return 0;
        }
    }
}
